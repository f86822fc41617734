// What every fuzz target shares: reading the fuzzer's bytes as values, checks
// that stop the run with a message, a scratch file for readers that take a file
// name, and, when the target is not built with libFuzzer, a main that replays
// files and folders of inputs (the seeds and past findings) through the target.
//
// A target defines
//     extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
// which runs one input, checks what must always hold, and returns 0. With
// libFuzzer (the fuzz preset, VL_LIBFUZZER defined) the fuzzer provides main;
// otherwise this header does: `target FILE|FOLDER...` runs each file (each file
// of a folder, in name order) once and prints how many ran.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace vlfuzz {

// Stops the run (abort, which libFuzzer records as a finding) with the failed
// condition and where it is.
[[noreturn]] inline void Failed(const char *what, const char *file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
  std::fflush(stderr);
  std::abort();
}
#define FUZZ_CHECK(condition) \
  ((condition) ? (void)0 : ::vlfuzz::Failed(#condition, __FILE__, __LINE__))

// What a trace writer of a target checks of each line: it keeps within `max`
// bytes. With VL_FUZZ_TRACE set in the environment the line is shown, to see
// what a finding did.
inline void CheckTraceText(char category, int level, const char *text, std::size_t max) {
  static const bool show = std::getenv("VL_FUZZ_TRACE") != nullptr;
  if (show) std::fprintf(stderr, "%c%d: %s\n", category, level, text);
  if (std::strlen(text) > max) Failed("a trace line keeps within its bound", __FILE__, __LINE__);
}

// The fuzzer's bytes taken from the front as values; once they run out every
// value is 0 or empty.
class Input {
 public:
  Input(const std::uint8_t *data, std::size_t size) : data_(reinterpret_cast<const char *>(data)), size_(size) {}

  std::size_t left() const { return size_ - pos_; }
  std::uint8_t Byte() { return pos_ < size_ ? static_cast<std::uint8_t>(data_[pos_++]) : 0; }
  bool Bool() { return (Byte() & 1) != 0; }
  // A number from `bytes` bytes (up to 8), little end first.
  std::uint64_t Bits(int bytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<std::uint64_t>(Byte()) << (8 * i);
    return v;
  }
  // An integer in [lo, hi].
  long long Range(long long lo, long long hi) {
    const auto span = static_cast<std::uint64_t>(hi - lo) + 1;
    return lo + static_cast<long long>(span == 0 ? Bits(8) : Bits(8) % span);
  }
  double Real() {
    const std::uint64_t bits = Bits(8);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
  }
  // Bytes up to the next NUL (not included), at most `max`.
  std::string Text(std::size_t max = 64) {
    std::string s;
    while (pos_ < size_ && s.size() < max) {
      const char c = data_[pos_++];
      if (c == '\0') break;
      s += c;
    }
    return s;
  }
  // Everything not taken yet.
  std::string_view Rest() {
    const std::string_view rest(data_ + pos_, size_ - pos_);
    pos_ = size_;
    return rest;
  }

 private:
  const char *data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// A scratch folder of this process, made once and removed at exit, for the
// readers that take file names.
inline const std::string &ScratchDir() {
  // Never destroyed, so that the removal at exit still finds the name.
  static const std::string &dir = *[] {
    const char *tmp = std::getenv("TMPDIR");
    auto *pattern = new std::string(std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vlfuzz.XXXXXX");
    if (mkdtemp(pattern->data()) == nullptr) Failed("a scratch folder can be made", __FILE__, __LINE__);
    return pattern;
  }();
  static const bool removed = std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(ScratchDir(), ec);
  }) == 0;
  (void)removed;
  return dir;
}

// Writes `bytes` into the file `name` of the scratch folder; returns its path.
inline std::string ScratchFile(const std::string &name, std::string_view bytes) {
  const std::string path = ScratchDir() + "/" + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) Failed("the scratch file can be written", __FILE__, __LINE__);
  return path;
}

// Whole-file read (for checks of what a target wrote).
inline std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace vlfuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

#ifndef VL_LIBFUZZER
// The replay main: every file named, and every file of every folder named, in
// name order. A missing path is an error, so that a test cannot pass on nothing.
int main(int argc, char **argv) {
  std::vector<std::filesystem::path> files;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path = argv[i];
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
      std::vector<std::filesystem::path> inside;
      for (const auto &entry : std::filesystem::directory_iterator(path)) {
        if (entry.is_regular_file()) inside.push_back(entry.path());
      }
      std::sort(inside.begin(), inside.end());
      files.insert(files.end(), inside.begin(), inside.end());
    } else if (std::filesystem::is_regular_file(path, ec)) {
      files.push_back(path);
    } else {
      std::fprintf(stderr, "%s: no such file or folder\n", argv[i]);
      return 2;
    }
  }
  for (const auto &file : files) {
    const std::string bytes = vlfuzz::ReadFile(file.string());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
  }
  std::printf("%zu inputs replayed\n", files.size());
  return files.empty() ? 1 : 0;
}
#endif
