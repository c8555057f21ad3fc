#include "history.h"

#include <algorithm>

#include "fw/files.h"
#include "fw/handles.h"
#include "fw/text.h"

using namespace sunblind;

namespace {

const wchar_t kLogName[] = L"changes.csv";

// Holds the session's history mutex while alive (at most 10 s' wait: a
// writer that hangs must not hang every other one).
class HistoryLock {
public:
    HistoryLock() : m_mutex(CreateMutexW(nullptr, FALSE, L"Local\\Brisel.History")) {
        if (!m_mutex) return;
        const DWORD got = WaitForSingleObject(m_mutex.get(), 10000);
        m_held = got == WAIT_OBJECT_0 || got == WAIT_ABANDONED;  // abandoned: the writer died, the files stand
    }
    ~HistoryLock() {
        if (m_held) ReleaseMutex(m_mutex.get());
    }
    HistoryLock(const HistoryLock&) = delete;
    HistoryLock& operator=(const HistoryLock&) = delete;
    bool Held() const { return m_held; }

private:
    unique_handle<HANDLE, file_traits> m_mutex;
    bool m_held = false;
};

std::wstring LocalAppData() {
    wchar_t path[MAX_PATH * 4];
    DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", path, MAX_PATH * 4);
    if (n && n < MAX_PATH * 4) return path;
    n = GetEnvironmentVariableW(L"USERPROFILE", path, MAX_PATH * 4);
    if (n && n < MAX_PATH * 4) return std::wstring(path) + L"\\AppData\\Local";
    return std::wstring();
}

bool IsFolder(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Makes each missing folder of `path` below `base`.
bool MakeFolders(const std::wstring& base, const std::wstring& path, std::string& error) {
    if (base.empty()) return error = "the user's local application data folder is not known", false;
    for (std::size_t at = base.size(); at != std::wstring::npos;) {
        at = path.find(L'\\', at + 1);
        const std::wstring folder = path.substr(0, at);
        if (CreateDirectoryW(folder.c_str(), nullptr) || IsFolder(folder)) continue;
        const DWORD code = GetLastError();
        error = "\"" + AfxUtf8FromWide(folder) + "\" cannot be made: " +
                (code == ERROR_ALREADY_EXISTS ? std::string("a file of that name is in its place") : AfxSystemMessage(code));
        return false;
    }
    return true;
}

bool WriteAll(HANDLE file, const std::string& bytes) {
    DWORD wrote = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) && wrote == bytes.size();
}

std::string Failed(const char* what, const std::wstring& path) {
    return std::string(what) + " \"" + AfxUtf8FromWide(path) + "\": " + AfxSystemMessage(GetLastError());
}

}  // namespace

CNodeHistory::CNodeHistory(const std::string& nodeName) {
    const std::wstring base = LocalAppData();
    if (base.empty()) return;
    const std::string name = FileNamePart(AfxUtf8FromWide(AfxWideFromBytes(nodeName)), "Unnamed node");
    m_folder = base + L"\\Brisel\\History\\" + AfxWideFromUtf8(name);
}

CNodeHistory CNodeHistory::OfSettingsFile(const std::wstring& path) {
    CNodeHistory history;
    const std::wstring base = LocalAppData();
    if (!base.empty())
        history.m_folder = base + L"\\Brisel\\Settings file history\\" +
                           AfxWideFromUtf8(FileHistoryName(AfxUtf8FromWide(path)));
    return history;
}

bool CNodeHistory::CanWrite(std::string& error) const {
    // Makes nothing: a change the user then cancels leaves no trace. The
    // nearest folder that exists must take a file, and nothing but folders
    // may stand on the way down from it.
    if (m_folder.empty()) return error = "the user's local application data folder is not known", false;
    std::wstring existing = m_folder;
    while (GetFileAttributesW(existing.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const std::size_t slash = existing.rfind(L'\\');
        if (slash == std::wstring::npos || slash < 3) break;
        existing.resize(slash);
    }
    if (!IsFolder(existing))
        return error = "\"" + AfxUtf8FromWide(existing) + "\" cannot be made: a file of that name is in its place", false;
    wchar_t tag[64];
    wsprintfW(tag, L"\\.brisel-%lX-%lX.probe", GetCurrentProcessId(), GetCurrentThreadId());
    const std::wstring probe = existing + tag;
    unique_file file(AsOwnedFile(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr)));
    if (!file) return error = Failed("nothing can be written in", existing), false;
    return true;
}

bool CNodeHistory::Backup(const ChangeRecord& record, std::string& error) const {
    if (!Changes(record)) return true;
    return Keep(record.time, record.action, FormatSettingsFile(BackupFile(record)), error);
}

bool CNodeHistory::Keep(const LocalTime& time, const std::string& action, const std::string& bytes,
                        std::string& error) const {
    HistoryLock lock;
    if (!lock.Held()) return error = "the history is held by another program", false;
    if (!MakeFolders(LocalAppData(), m_folder, error)) return false;
    const std::wstring name = AfxWideFromUtf8(BackupName(time, action));
    // Another change in the same millisecond gets " (2)", " (3)" ...
    std::wstring path;
    unique_file file;
    for (int n = 1; !file && n < 100; ++n) {
        path = m_folder + L"\\" +
               (n == 1 ? name : name.substr(0, name.size() - 4) + L" (" + std::to_wstring(n) + L").txt");
        file.reset(AsOwnedFile(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)));
        if (!file && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    if (!file) return error = Failed("the backup cannot be made in", m_folder), false;
    if (!WriteAll(file.get(), bytes) || !FlushFileBuffers(file.get())) {
        error = Failed("the backup cannot be written to", path);
        file.reset();
        DeleteFileW(path.c_str());
        return false;
    }
    file.reset();
    // The oldest go beyond the newest kKeepBackups.
    std::vector<std::string> names;
    for (const Entry& e : Backups()) names.push_back(AfxUtf8FromWide(e.path.substr(m_folder.size() + 1)));
    for (const std::string& old : BackupsToRemove(names, kKeepBackups))
        DeleteFileW((m_folder + L"\\" + AfxWideFromUtf8(old)).c_str());
    return true;
}

bool CNodeHistory::Log(const ChangeRecord& record, std::string& error) const {
    const std::string lines = LogLines(record);
    if (lines.empty()) return true;
    HistoryLock lock;
    if (!lock.Held()) return error = "the history is held by another program", false;
    if (!MakeFolders(LocalAppData(), m_folder, error)) return false;
    const std::wstring path = m_folder + L"\\" + kLogName;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
        (static_cast<long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow) >= kLogLimit) {
        // Rolled over to "changes <time>.csv"; a failure leaves it growing.
        const std::string stamp = BackupName(record.time, "");
        const std::wstring dated = m_folder + L"\\changes " + AfxWideFromUtf8(stamp.substr(0, 23)) + L".csv";
        MoveFileW(path.c_str(), dated.c_str());
    }
    unique_file file(AsOwnedFile(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!file) return error = Failed("the change log cannot be opened:", path), false;
    LARGE_INTEGER size = {};
    GetFileSizeEx(file.get(), &size);
    if (!WriteAll(file.get(), (size.QuadPart == 0 ? std::string(kLogHeader) : std::string()) + lines))
        return error = Failed("the change log cannot be written:", path), false;
    return true;
}

std::vector<CNodeHistory::Entry> CNodeHistory::Backups() const {
    std::vector<Entry> entries;
    WIN32_FIND_DATAW found;
    unique_find search(AsOwnedFile(FindFirstFileW((m_folder + L"\\*.txt").c_str(), &found)));
    if (!search) return entries;
    do {
        Entry e;
        const std::string name = AfxUtf8FromWide(found.cFileName);
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !ParseBackupName(name, e.time, e.action)) continue;
        e.path = m_folder + L"\\" + found.cFileName;
        entries.push_back(e);
    } while (FindNextFileW(search.get(), &found));
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.path > b.path; });
    return entries;
}

LocalTime CNodeHistory::Now() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    TIME_ZONE_INFORMATION zone;
    const DWORD which = GetTimeZoneInformation(&zone);
    LONG bias = zone.Bias;
    if (which == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
    if (which == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
    LocalTime now;
    now.year = t.wYear, now.month = t.wMonth, now.day = t.wDay;
    now.hour = t.wHour, now.minute = t.wMinute, now.second = t.wSecond, now.millisecond = t.wMilliseconds;
    now.utcOffsetMinutes = -static_cast<int>(bias);
    return now;
}

std::string CNodeHistory::User() {
    wchar_t name[257] = {};
    DWORD size = 257;
    return GetUserNameW(name, &size) ? AfxUtf8FromWide(name) : std::string();
}
