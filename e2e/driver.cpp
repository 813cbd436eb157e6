// Plays the user (and, where asked, the game) around one run of an updater
// under Wine, and writes what it saw to a log, one line per event, in UTF-8:
//
//   box N caption=<text> text=<text> buttons=yes,no default=no
//   answer N yes|no|ok|enter
//   second-copy exit=0x%08X windows=N        (only with --second-copy-at)
//   attrs <path> 0x%08X                        (only with --attrs, after the run)
//   exit 0x%08X                                or: timeout
//
// Every Wine process is expensive here (the 32-bit code runs under an
// emulator), so this one process does the registry set-up, holds the
// interpreter mutex and the locked file like the game would, starts the
// updater, reads and answers its boxes, and reports the exit status.
//
// Usage: e2e_driver.exe --log FILE [options] UPDATER
//   --reg-sz FOLDER | --reg-expand-sz FOLDER | --reg-none
//   --hold-mutex NAME        create and own a named mutex for the whole run
//   --hold-file PATH         keep PATH open without sharing for the whole run
//   --readonly PATH          set the read-only attribute before the run
//   --answer yes|no|enter|ok (repeatable; box k gets answer k, extra boxes get enter)
//   --second-copy-at N       start a second copy while box N is shown
//   --attrs PATH             report GetFileAttributes after the run (repeatable)
//   --timeout SECONDS        give up on a box or an exit after that long
//   --pause-dir DIR          before answering box N, write DIR\box-N.rect
//                            ("left top width height" on the screen) and wait
//                            for DIR\box-N.go: time for a screenshot
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const wchar_t kRegistrySubkey[] = L"Software\\Ormica\\Quenlith";
const wchar_t kRegistryValue[] = L"InstalledFolder";
const int kMessageTextId = 0xFFFF;  // the static control that holds a box's text

FILE* gLog = nullptr;
// Updaters started so far: a driver that gives up must not leave one behind
// with a box open, holding its mutex against the next scenario.
std::vector<HANDLE> gStarted;

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  // One event per line: a line break inside a text must not split it.
  std::string escaped;
  for (char c : out) {
    if (c == '\n') escaped += "\\n";
    else if (c == '\r') escaped += "\\r";
    else escaped += c;
  }
  return escaped;
}

void Log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vfprintf(gLog, format, args);
  va_end(args);
  fputc('\n', gLog);
  fflush(gLog);
}

[[noreturn]] void Fail(const char* what) {
  DWORD error = GetLastError();
  if (gLog) Log("error %s (last error %lu)", what, error);
  fprintf(stderr, "e2e_driver: %s (last error %lu)\n", what, error);
  for (HANDLE process : gStarted) TerminateProcess(process, 0xDEAD);
  exit(2);
}

struct Options {
  std::wstring log;
  std::wstring updater;
  int registryMode = 0;  // 0 leave alone, 1 REG_SZ, 2 REG_EXPAND_SZ, 3 delete the key
  std::wstring folder;
  std::vector<std::wstring> holdMutexes;
  std::vector<std::wstring> holdFiles;
  std::vector<std::wstring> readOnly;
  std::vector<std::wstring> answers;
  std::vector<std::wstring> attrs;
  int secondCopyAt = 0;
  DWORD timeoutMs = 120000;
  std::wstring pauseDir;
};

Options ParseOptions(int argc, wchar_t** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::wstring a = argv[i];
    auto next = [&]() -> std::wstring {
      if (i + 1 >= argc) Fail("option without its value");
      return argv[++i];
    };
    if (a == L"--log") o.log = next();
    else if (a == L"--reg-sz") { o.registryMode = 1; o.folder = next(); }
    else if (a == L"--reg-expand-sz") { o.registryMode = 2; o.folder = next(); }
    else if (a == L"--reg-none") o.registryMode = 3;
    else if (a == L"--hold-mutex") o.holdMutexes.push_back(next());
    else if (a == L"--hold-file") o.holdFiles.push_back(next());
    else if (a == L"--readonly") o.readOnly.push_back(next());
    else if (a == L"--answer") o.answers.push_back(next());
    else if (a == L"--second-copy-at") o.secondCopyAt = _wtoi(next().c_str());
    else if (a == L"--attrs") o.attrs.push_back(next());
    else if (a == L"--pause-dir") o.pauseDir = next();
    else if (a == L"--timeout") o.timeoutMs = static_cast<DWORD>(_wtoi(next().c_str())) * 1000;
    else if (!a.empty() && a[0] == L'-') Fail("unknown option");
    else o.updater = a;
  }
  if (o.log.empty() || o.updater.empty()) Fail("usage: e2e_driver.exe --log FILE [options] UPDATER");
  return o;
}

void SetUpRegistry(const Options& o) {
  if (o.registryMode == 0) return;
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, kRegistrySubkey);
  if (o.registryMode == 3) return;
  HKEY key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRegistrySubkey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    Fail("cannot create the registry key");
  DWORD type = o.registryMode == 1 ? REG_SZ : REG_EXPAND_SZ;
  DWORD bytes = static_cast<DWORD>((o.folder.size() + 1) * sizeof(wchar_t));
  if (RegSetValueExW(key, kRegistryValue, 0, type, reinterpret_cast<const BYTE*>(o.folder.c_str()), bytes) != ERROR_SUCCESS)
    Fail("cannot set the registry value");
  RegCloseKey(key);
}

HANDLE Start(const std::wstring& exe) {
  std::wstring commandLine = L"\"" + exe + L"\"";
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    Fail("cannot start the updater");
  CloseHandle(pi.hThread);
  gStarted.push_back(pi.hProcess);
  return pi.hProcess;
}

struct Search {
  DWORD pid;
  HWND found;
  int count;
};

BOOL CALLBACK FindBox(HWND hwnd, LPARAM param) {
  Search* s = reinterpret_cast<Search*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != s->pid || !IsWindowVisible(hwnd)) return TRUE;
  ++s->count;
  wchar_t cls[64];
  if (GetClassNameW(hwnd, cls, 64) && wcscmp(cls, L"#32770") == 0 && !s->found) s->found = hwnd;
  return TRUE;
}

// The first visible dialog of the process, or null; *windows counts all of
// its visible top-level windows.
HWND VisibleBox(DWORD pid, int* windows) {
  Search s = {pid, nullptr, 0};
  EnumWindows(FindBox, reinterpret_cast<LPARAM>(&s));
  if (windows) *windows = s.count;
  return s.found;
}

std::wstring WindowText(HWND hwnd) {
  wchar_t buffer[1024];
  int n = GetWindowTextW(hwnd, buffer, 1024);
  return std::wstring(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

void DescribeBox(int index, HWND box) {
  std::wstring caption = WindowText(box);
  HWND textControl = GetDlgItem(box, kMessageTextId);
  std::wstring text = textControl ? WindowText(textControl) : std::wstring();
  struct { int id; const char* name; } buttons[] = {
      {IDOK, "ok"}, {IDCANCEL, "cancel"}, {IDABORT, "abort"}, {IDRETRY, "retry"},
      {IDIGNORE, "ignore"}, {IDYES, "yes"}, {IDNO, "no"}};
  std::string present, defaults;
  for (const auto& b : buttons) {
    HWND button = GetDlgItem(box, b.id);
    if (!button || !IsWindowVisible(button)) continue;
    if (!present.empty()) present += ",";
    present += b.name;
    if ((GetWindowLongW(button, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON) {
      if (!defaults.empty()) defaults += ",";
      defaults += b.name;
    }
  }
  Log("box %d caption=%s text=%s buttons=%s default=%s", index, Utf8(caption).c_str(), Utf8(text).c_str(),
      present.c_str(), defaults.empty() ? "none" : defaults.c_str());
}

void PressKey(HWND box, WORD key) {
  // Keys go to the control that has the focus, as the keyboard would send them.
  DWORD thread = GetWindowThreadProcessId(box, nullptr);
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  HWND target = box;
  if (GetGUIThreadInfo(thread, &info) && info.hwndFocus) target = info.hwndFocus;
  PostMessageW(target, WM_KEYDOWN, key, 1);
  PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

void Answer(int index, HWND box, const std::wstring& answer) {
  int id = 0;
  if (answer == L"yes") id = IDYES;
  else if (answer == L"no") id = IDNO;
  else if (answer == L"ok") id = IDOK;
  if (id) {
    HWND button = GetDlgItem(box, id);
    if (!button) Fail("the box has no such button");
    PostMessageW(button, BM_CLICK, 0, 0);
  } else {
    PressKey(box, VK_RETURN);
  }
  Log("answer %d %s", index, Utf8(answer).c_str());
}

void PauseForScreenshot(const Options& o, int index, HWND box) {
  if (o.pauseDir.empty()) return;
  RECT r;
  GetWindowRect(box, &r);
  std::wstring base = o.pauseDir + L"\\box-" + std::to_wstring(index);
  std::wstring temp = base + L".tmp";
  FILE* f = _wfopen(temp.c_str(), L"wb");
  if (!f) Fail("cannot write to the pause folder");
  fprintf(f, "%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
  fclose(f);
  if (!MoveFileExW(temp.c_str(), (base + L".rect").c_str(), MOVEFILE_REPLACE_EXISTING)) Fail("cannot write the box rectangle");
  std::wstring go = base + L".go";
  for (DWORD waited = 0; GetFileAttributesW(go.c_str()) == INVALID_FILE_ATTRIBUTES; waited += 100) {
    if (waited >= o.timeoutMs) Fail("nobody took the screenshot");
    Sleep(100);
  }
}

bool WaitGone(HWND box, HANDLE process, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
    if (!IsWindow(box) || !IsWindowVisible(box)) return true;
    if (WaitForSingleObject(process, 50) == WAIT_OBJECT_0) return true;
  }
  return false;
}

// Starts a second copy and waits for it to end by itself, noting every
// window that it shows meanwhile.
void RunSecondCopy(const Options& o) {
  HANDLE second = Start(o.updater);
  DWORD pid = GetProcessId(second);
  int shown = 0;
  DWORD waited = 0;
  while (WaitForSingleObject(second, 50) == WAIT_TIMEOUT) {
    int windows = 0;
    VisibleBox(pid, &windows);
    if (windows > shown) shown = windows;
    waited += 50;
    if (waited >= o.timeoutMs) {
      Log("second-copy timeout windows=%d", shown);
      TerminateProcess(second, 0xDEAD);
      return;
    }
  }
  DWORD code = 0;
  GetExitCodeProcess(second, &code);
  Log("second-copy exit=0x%08lX windows=%d", code, shown);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options o = ParseOptions(argc, argv);
  gLog = _wfopen(o.log.c_str(), L"wb");
  if (!gLog) Fail("cannot write the log");

  SetUpRegistry(o);
  std::vector<HANDLE> held;
  for (const auto& name : o.holdMutexes) {
    HANDLE m = CreateMutexW(nullptr, TRUE, name.c_str());
    if (!m) Fail("cannot create the mutex");
    held.push_back(m);
  }
  for (const auto& path : o.holdFiles) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) Fail("cannot hold the file");
    held.push_back(f);
  }
  for (const auto& path : o.readOnly)
    if (!SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY)) Fail("cannot set the read-only attribute");

  HANDLE process = Start(o.updater);
  DWORD pid = GetProcessId(process);
  int boxes = 0;
  bool timedOut = false;
  for (;;) {
    HWND box = nullptr;
    DWORD waited = 0;
    while (!(box = VisibleBox(pid, nullptr))) {
      if (WaitForSingleObject(process, 50) == WAIT_OBJECT_0) break;
      waited += 50;
      if (waited >= o.timeoutMs) { timedOut = true; break; }
    }
    if (!box) break;
    ++boxes;
    // Give the box a moment to finish painting, then read it as shown.
    Sleep(200);
    DescribeBox(boxes, box);
    if (o.secondCopyAt == boxes) RunSecondCopy(o);
    PauseForScreenshot(o, boxes, box);
    std::wstring answer = static_cast<size_t>(boxes) <= o.answers.size() ? o.answers[boxes - 1] : L"enter";
    Answer(boxes, box, answer);
    if (!WaitGone(box, process, o.timeoutMs)) { timedOut = true; break; }
  }

  if (timedOut || WaitForSingleObject(process, o.timeoutMs) != WAIT_OBJECT_0) {
    Log("timeout");
    TerminateProcess(process, 0xDEAD);
  } else {
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    Log("exit 0x%08lX", code);
  }

  for (HANDLE h : held) CloseHandle(h);
  for (const auto& path : o.attrs) Log("attrs %s 0x%08lX", Utf8(path).c_str(), GetFileAttributesW(path.c_str()));
  fclose(gLog);
  return timedOut ? 1 : 0;
}
