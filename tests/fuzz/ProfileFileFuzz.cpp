// libFuzzer target: any settings file text must load without harm.
#include "settings/ProfileFile.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto profile = sundrel::settings::ProfileFile::parse(text);
  (void)profile.getString("Output Security", "DocumentPassword", "", 260);
  (void)profile.getInt("TabSelect", "TabNumber", 0);
  profile.setString("Output Preperies", "Title", text.substr(0, 64));
  (void)sundrel::settings::ProfileFile::parse(profile.text());
  return 0;
}
