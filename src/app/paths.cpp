#include "app/paths.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include <vector>
#endif

#include "app/app_state.h"
#include "protocol/code_images.h"

namespace dozered {
namespace {

bool IsDeviceName(std::string_view name) {
  static constexpr std::array<std::string_view, 6> kDevices = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  // "CON.txt" names the device as well.
  std::string base(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (std::find(kDevices.begin(), kDevices.end(), base) != kDevices.end()) return true;
  return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) && base[3] >= '0' &&
         base[3] <= '9';
}

}  // namespace

std::filesystem::path PathBesideExecutable(const AppState& state, const std::filesystem::path& name) {
  return state.ExecutableDir / name;
}

std::filesystem::path RunningExecutableDir(const char* argv0) {
  std::error_code error;
#ifdef _WIN32
  std::vector<wchar_t> name(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) break;
    if (length < name.size()) return std::filesystem::path(std::wstring(name.data(), length)).parent_path();
    if (name.size() >= 32768) break;
    name.resize(name.size() * 2);
  }
#else
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error && !self.empty()) return self.parent_path();
#endif
  if (argv0 == nullptr || *argv0 == '\0') return std::filesystem::current_path(error);
  return std::filesystem::absolute(std::filesystem::path(argv0), error).parent_path();
}

std::filesystem::path PathInWorkingDirectory(const std::filesystem::path& name) { return name; }

std::string PathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

bool IsPlainFolderName(std::string_view name) {
  if (name.empty()) return true;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u > 0x7E) return false;
    if (std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) return false;
  }
  if (name.find_first_not_of('.') == std::string_view::npos) return false;  // ".", "..", "..."
  if (name.back() == '.' || name.back() == ' ') return false;
  return !IsDeviceName(name);
}

std::optional<std::filesystem::path> DriveFolderFor(const AppState& state, int device) {
  const auto identify = std::span<const uint8_t, kIdentifyBytes>(state.IdentifyTable[static_cast<size_t>(device)]);
  const auto isp = std::span<const uint8_t, kIspInfoBytes>(state.IspInfoTable[static_cast<size_t>(device)]);
  const std::string folder = IspFolderName(isp);
  if (!IsPlainFolderName(folder)) return std::nullopt;
  std::filesystem::path path = state.ExecutableDir / folder;
  if (UsesRevisionSubfolder(identify, isp)) {
    const std::string revision = RevisionSubfolderName(identify);
    if (!IsPlainFolderName(revision)) return std::nullopt;
    path /= revision;
  }
  return path;
}

}  // namespace dozered
