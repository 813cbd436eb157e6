#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "commands.h"
#include "package/package_format.h"
#include "text.h"
#include "tools/packwriter/package_writer.h"

namespace {

namespace fs = std::filesystem;

const uint64_t kProgressThreshold = 8 << 20;

[[noreturn]] void Refuse(const std::string& message) { throw std::runtime_error(message); }

// Names that Windows cannot create as given: the updater would fail on them
// in the middle of an installation, so they are refused here.
std::string WindowsNameProblem(const std::string& name) {
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || std::strchr("<>:\"|?*\\", c) != nullptr) {
      return c == '\\' ? "holds '\\', which Windows reads as a folder separator"
                       : "holds a character that Windows does not allow in file names";
    }
  }
  if (name.empty()) return "is empty";
  if (name.back() == '.' || name.back() == ' ') return "ends in a dot or a space, which Windows drops";
  std::string stem = name.substr(0, name.find('.'));
  for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
  bool device = std::find_if(std::begin(kDevices), std::end(kDevices),
                             [&](const char* d) { return stem == d; }) != std::end(kDevices);
  if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '1' &&
      stem[3] <= '9') {
    device = true;
  }
  return device ? "is a Windows device name" : "";
}

packwriter::InputEntry EntryFor(const fs::path& path) {
  std::string name = path.filename().string();
  std::string problem = WindowsNameProblem(name);
  if (!problem.empty()) Refuse(path.string() + ": the name " + problem);
  auto stored = Utf8ToShiftJis(name);
  if (!stored) Refuse(path.string() + ": the name cannot be written in Shift_JIS (code page 932)");
  return {*stored, path.string(), {}};
}

// Files as given; a folder gives its regular files, sorted bytewise by name.
std::vector<packwriter::InputEntry> CollectEntries(const std::vector<std::string>& inputs) {
  std::vector<packwriter::InputEntry> entries;
  for (const std::string& input : inputs) {
    std::error_code error;
    fs::file_status status = fs::status(input, error);
    if (error) Refuse(input + ": cannot be read: " + error.message());
    if (fs::is_regular_file(status)) {
      entries.push_back(EntryFor(input));
      continue;
    }
    if (!fs::is_directory(status)) Refuse(input + ": not a regular file or a folder");
    std::vector<fs::path> files;
    for (fs::directory_iterator it(input, error), end; !error && it != end; it.increment(error)) {
      std::error_code kindError;
      if (it->is_regular_file(kindError)) {
        files.push_back(it->path());
      } else {
        Warn(it->path().string(), "skipped: only the regular files directly inside a folder are packed");
      }
    }
    if (error) Refuse(input + ": cannot list the folder: " + error.message());
    std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
      return a.filename().string() < b.filename().string();
    });
    for (const fs::path& file : files) entries.push_back(EntryFor(file));
  }
  return entries;
}

// The tool lives in build/native, the updater in build/windows; an installed
// copy may keep updater.exe beside itself.
std::string FindStub() {
  std::error_code error;
  fs::path tool = fs::read_symlink("/proc/self/exe", error);
  if (error) Refuse("no stub given and the tool's own folder is unknown: use --stub FILE");
  fs::path folder = tool.parent_path();
  std::vector<fs::path> candidates = {folder / ".." / "windows" / "updater.exe", folder / "updater.exe"};
  for (const fs::path& candidate : candidates) {
    if (fs::is_regular_file(candidate, error)) return candidate.lexically_normal().string();
  }
  Refuse("no stub given and none found at " + candidates[0].lexically_normal().string() + " or " +
         candidates[1].string() + ": use --stub FILE");
}

std::vector<uint8_t> ReadStub(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Refuse(path + ": the stub cannot be read: " + std::strerror(errno));
  // One byte more than fits tells a stub that is too large without reading it all.
  std::vector<uint8_t> stub(kPackageOffset + 1);
  in.read(reinterpret_cast<char*>(stub.data()), static_cast<std::streamsize>(stub.size()));
  if (in.bad()) Refuse(path + ": the stub cannot be read");
  stub.resize(static_cast<size_t>(in.gcount()));
  if (stub.size() > kPackageOffset) {
    std::error_code error;
    Refuse(path + ": the stub is " + std::to_string(fs::file_size(path, error)) + " bytes, more than the " +
           std::to_string(kPackageOffset) + " that fit before the package");
  }
  return stub;
}

// Windows runs an executable without a manifest elevated on its own only when
// its name suggests an installer; otherwise its writes into a protected
// install folder are silently redirected to the user's VirtualStore.
bool NameSuggestsInstaller(const std::string& output) {
  std::string name = fs::path(output).filename().string();
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* word : {"update", "setup", "install", "patch"}) {
    if (name.find(word) != std::string::npos) return true;
  }
  return false;
}

std::string Mebibytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1 << 20));
  return text;
}

// A progress line on standard error, redrawn a few times a second.
class ProgressBar {
 public:
  void Update(uint64_t done, uint64_t total) {
    if (total <= kProgressThreshold) return;
    auto now = std::chrono::steady_clock::now();
    if (!started_) {
      started_ = true;
      start_ = now;
    } else if (done < total && now - lastDraw_ < std::chrono::milliseconds(100)) {
      return;
    }
    lastDraw_ = now;
    const int width = 30;
    int filled = static_cast<int>(done * width / total);
    double seconds = std::chrono::duration<double>(now - start_).count();
    std::string rate = seconds > 0 ? Mebibytes(static_cast<uint64_t>(done / seconds)) + "/s" : "";
    std::fprintf(stderr, "\r%3d%% [%s%s] %s / %s  %s   ", static_cast<int>(done * 100 / total),
                 std::string(filled, '#').c_str(), std::string(width - filled, '.').c_str(),
                 Mebibytes(done).c_str(), Mebibytes(total).c_str(), rate.c_str());
    drawn_ = true;
  }
  // Ends the line, so that what follows starts on a line of its own.
  void Finish() {
    if (drawn_) std::fputc('\n', stderr);
    drawn_ = false;
  }
  ~ProgressBar() { Finish(); }

 private:
  bool started_ = false;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_, lastDraw_;
};

std::string ShownName(const std::string& stored) {
  auto utf8 = ShiftJisToUtf8(stored);
  return utf8 ? *utf8 : DisplayName(stored.c_str());
}

}  // namespace

int CreateCommand(const CreateArguments& arguments) {
  try {
    std::vector<packwriter::InputEntry> entries = CollectEntries(arguments.inputs);
    std::vector<uint8_t> stub = ReadStub(arguments.stub.empty() ? FindStub() : arguments.stub);
    ProgressBar bar;
    packwriter::WriteOptions options;
    options.verificationList = arguments.verificationList;
    options.displayName = ShownName;
    if (!arguments.quiet && ::isatty(STDERR_FILENO)) {
      options.progress = [&](uint64_t done, uint64_t total) { bar.Update(done, total); };
    }
    auto written = packwriter::WriteUpdater(arguments.output, stub, entries, options);
    bar.Finish();
    if (!NameSuggestsInstaller(arguments.output)) {
      Warn(arguments.output,
           "the name holds none of \"update\", \"setup\", \"install\", \"patch\": Windows will not run it "
           "elevated, and its writes into a protected install folder are redirected");
    }
    if (!arguments.quiet) {
      uint64_t bytes = 0;
      for (const auto& entry : written) bytes += entry.size;
      std::printf("wrote %s: %zu entries%s, %llu bytes of data\n", arguments.output.c_str(), written.size(),
                  arguments.verificationList ? " with the verification list" : "",
                  static_cast<unsigned long long>(bytes));
    }
  } catch (const std::exception& error) {
    Complain("", error.what());
    return kExitFailure;
  }
  return kExitOk;
}
