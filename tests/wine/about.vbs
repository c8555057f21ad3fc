' Creates the control by its ProgID and calls AboutBox late-bound; the
' About box is modal, so the call returns only after it has been closed.
Set fso = CreateObject("Scripting.FileSystemObject")
marker = WScript.Arguments(0)
Set ctrl = CreateObject("Brisel.BriselCtrl.1")
WScript.Echo "created: " & IsObject(ctrl)
r = ctrl.AboutBox()
WScript.Echo "closed before return: " & fso.FileExists(marker)
WScript.Echo "result: " & TypeName(r)
