// A fresh folder for one test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace tesmuro::test {

class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() / ("tesmuro-test-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // UTF-8 path of the folder, or of a file in it.
  std::string Str() const { return Utf8(path_); }
  std::string File(const std::string& name) const { return Utf8(path_ / std::filesystem::u8path(name)); }

  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(path_ / std::filesystem::u8path(name), std::ios::binary) << bytes;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(path_ / std::filesystem::u8path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string& name) const {
    return std::filesystem::exists(path_ / std::filesystem::u8path(name));
  }
  size_t FileCount() const {
    size_t n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(path_)) ++n;
    return n;
  }

 private:
  static std::string Utf8(const std::filesystem::path& p) {
    auto s = p.u8string();
    return std::string(s.begin(), s.end());
  }
  std::filesystem::path path_;
};

}  // namespace tesmuro::test
