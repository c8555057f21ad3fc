// Resource and control ids of the module. Shared by the resource scripts and
// the code; a page's dialog template and its tab caption share one number.
#pragma once

// Control: user type name, toolbox bitmap / picture, icon, About box.
#define IDS_BRISEL 1
#define IDB_BRISEL 1
#define IDI_ABOUTDLL 1
#define IDD_ABOUTBOX_BRISEL 1

// Pages: dialog template and caption string.
#define IDD_NODEINFO 200
#define IDD_SUNBLIND1 201
#define IDD_SUNBLIND2 202
#define IDD_SUNBLIND3 203
#define IDD_SUNBLIND4 204

// Node information page.
#define IDC_NODENAME 209
#define IDC_SAVESETTINGS 300
#define IDC_LOADSETTINGS 301
#define IDC_COPYFROM 302
#define IDC_COPYTO1 303  // the three channels other than the one copied from
#define IDC_COPYTO2 304
#define IDC_COPYTO3 305
#define IDC_COPY 306
#define IDC_RESTORE 307
#define IDC_HISTORY 308  // where the history is, or why it was not written

// The change table: what a Load or Copy would change, before it is written.
#define IDD_CHANGES 210
#define IDC_CHANGES_QUESTION 0xFFFF  // as a message box's text, for tools that read it
#define IDC_CHANGES_LIST 310

// The progress of Save, Load and Copy while they make their node calls; its
// Stop button is IDCANCEL (Esc stops too).
#define IDD_PROGRESS 211
#define IDC_PROGRESS_STEP 311
#define IDC_PROGRESS_BAR 312
#define IDC_PROGRESS_CALLS 313

// The node's backups, newest first, to choose one to restore.
#define IDD_RESTORE 212
#define IDC_RESTORE_TEXT 0xFFFF  // as a message box's text, for tools that read it
#define IDC_RESTORE_LIST 314

// Sunblind pages, one set per channel: IDC_SB<channel>_<field>. The dialog
// (res/sunblind_dialog.rc) and the pages' control table name them through
// SB_ID(channel, FIELD).
#define IDC_SB1_LUXLEVEL 201
#define IDC_SB1_DOWNSETPOINT 210
#define IDC_SB1_TIMEBEFOREDOWN 211
#define IDC_SB1_UPSETPOINT 212
#define IDC_SB1_TIMEBEFOREUP 213
#define IDC_SB1_PUSHSHORT 214
#define IDC_SB1_PUSHLONG 215
#define IDC_SB1_ACTUALLEVEL 203
#define IDC_SB1_TOPDOWNTIME 204
#define IDC_SB1_TOPLEVEL 205
#define IDC_SB1_BOTTOMLEVEL 206
#define IDC_SB1_LEVELLOCAL 209
#define IDC_SB1_LEVELCOMMON 208
#define IDC_SB1_OVERRIDELOCAL 220
#define IDC_SB1_OVERRIDECOMMON 219
#define IDC_SB1_LUXLOCAL 217
#define IDC_SB1_LUXCOMMON 222
#define IDC_SB2_LUXLEVEL 218
#define IDC_SB2_DOWNSETPOINT 221
#define IDC_SB2_TIMEBEFOREDOWN 224
#define IDC_SB2_UPSETPOINT 223
#define IDC_SB2_TIMEBEFOREUP 225
#define IDC_SB2_PUSHSHORT 226
#define IDC_SB2_PUSHLONG 227
#define IDC_SB2_ACTUALLEVEL 234
#define IDC_SB2_TOPDOWNTIME 235
#define IDC_SB2_TOPLEVEL 236
#define IDC_SB2_BOTTOMLEVEL 237
#define IDC_SB2_LEVELLOCAL 228
#define IDC_SB2_LEVELCOMMON 229
#define IDC_SB2_OVERRIDELOCAL 230
#define IDC_SB2_OVERRIDECOMMON 231
#define IDC_SB2_LUXLOCAL 232
#define IDC_SB2_LUXCOMMON 233
#define IDC_SB3_LUXLEVEL 238
#define IDC_SB3_DOWNSETPOINT 239
#define IDC_SB3_TIMEBEFOREDOWN 241
#define IDC_SB3_UPSETPOINT 240
#define IDC_SB3_TIMEBEFOREUP 242
#define IDC_SB3_PUSHSHORT 249
#define IDC_SB3_PUSHLONG 250
#define IDC_SB3_ACTUALLEVEL 251
#define IDC_SB3_TOPDOWNTIME 252
#define IDC_SB3_TOPLEVEL 253
#define IDC_SB3_BOTTOMLEVEL 254
#define IDC_SB3_LEVELLOCAL 245
#define IDC_SB3_LEVELCOMMON 246
#define IDC_SB3_OVERRIDELOCAL 243
#define IDC_SB3_OVERRIDECOMMON 244
#define IDC_SB3_LUXLOCAL 247
#define IDC_SB3_LUXCOMMON 248
#define IDC_SB4_LUXLEVEL 255
#define IDC_SB4_DOWNSETPOINT 256
#define IDC_SB4_TIMEBEFOREDOWN 258
#define IDC_SB4_UPSETPOINT 257
#define IDC_SB4_TIMEBEFOREUP 259
#define IDC_SB4_PUSHSHORT 260
#define IDC_SB4_PUSHLONG 261
#define IDC_SB4_ACTUALLEVEL 262
#define IDC_SB4_TOPDOWNTIME 263
#define IDC_SB4_TOPLEVEL 264
#define IDC_SB4_BOTTOMLEVEL 265
#define IDC_SB4_LEVELLOCAL 270
#define IDC_SB4_LEVELCOMMON 271
#define IDC_SB4_OVERRIDELOCAL 266
#define IDC_SB4_OVERRIDECOMMON 267
#define IDC_SB4_LUXLOCAL 272
#define IDC_SB4_LUXCOMMON 273
#define SB_ID_(channel, field) IDC_SB##channel##_##field
#define SB_ID(channel, field) SB_ID_(channel, field)
#define SB_DIALOG_(channel) IDD_SUNBLIND##channel
#define SB_DIALOG(channel) SB_DIALOG_(channel)

// Sunblind pages: the Read and Write buttons are the same on every page;
// the other control ids are per page (see the pages' control table).
#define IDC_READ 268
#define IDC_WRITE 269

// Sheet buttons of the common controls' property sheet.
#define IDC_SHEET_APPLY 12321
