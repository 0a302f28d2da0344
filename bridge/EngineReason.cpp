#include "bridge/EngineReason.h"

#include <algorithm>
#include <array>
#include <utility>

namespace sundrel::bridge {
namespace {

constexpr std::array<std::pair<EngineReason, std::string_view>, 12> kCodes{{
    {EngineReason::Usage, "usage"},
    {EngineReason::NotSupported, "not_supported"},
    {EngineReason::NotFound, "not_found"},
    {EngineReason::PasswordRequired, "password_required"},
    {EngineReason::PasswordIncorrect, "password_incorrect"},
    {EngineReason::Damaged, "damaged"},
    {EngineReason::Changed, "changed"},
    {EngineReason::TooLarge, "too_large"},
    {EngineReason::Range, "range"},
    {EngineReason::Io, "io"},
    {EngineReason::Refused, "refused"},
    {EngineReason::Failed, "failed"},
}};

// Words of engines that give no code: pdftk-java's and tovix.dll's own
// before it had codes. The first that occurs in the text decides.
constexpr std::array<std::pair<std::string_view, EngineReason>, 6> kWordings{{
    {"PASSWORD REQUIRED, but incorrect", EngineReason::PasswordIncorrect}, // pdftk
    {"password is incorrect", EngineReason::PasswordIncorrect},            // tovix.dll
    // "OWNER OR USER PASSWORD REQUIRED, but not given"; pdftk says "OWNER
    // PASSWORD REQUIRED" of a file it could read, wanting the owner's.
    {"PASSWORD REQUIRED", EngineReason::PasswordRequired},
    {"Unable to find file", EngineReason::NotFound},
    {"page number exceeds size of PDF", EngineReason::Range},
    {"No pages were selected by the given page ranges", EngineReason::Range},
}};

constexpr std::string_view kErrorPrefix = "Error: ";

bool isCodeCharacter(char c) {
  return (c >= 'a' && c <= 'z') || c == '_';
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

// The line at `at` and where the next one starts.
std::string_view lineAt(std::string_view text, std::size_t at, std::size_t& next) {
  const std::size_t end = text.find('\n', at);
  next = end == std::string_view::npos ? text.size() : end + 1;
  return text.substr(at, (end == std::string_view::npos ? text.size() : end) - at);
}

} // namespace

std::string_view reasonCode(EngineReason reason) {
  for (const auto& [known, code] : kCodes)
    if (known == reason)
      return code;
  return {};
}

EngineReason reasonOfCode(std::string_view code) {
  for (const auto& [reason, known] : kCodes)
    if (known == code)
      return reason;
  return EngineReason::Unknown;
}

std::string errorLine(EngineReason reason, std::string_view text) {
  return std::string(kErrorPrefix) + "[" + std::string(reasonCode(reason)) + "] " +
         std::string(text);
}

EngineReason reasonOfText(std::string_view text) {
  for (const auto& [wording, reason] : kWordings)
    if (text.find(wording) != std::string_view::npos)
      return reason;
  return EngineReason::Unknown;
}

std::string readEngineWarning(std::string_view output) {
  constexpr std::string_view kWarning = "Warning: ";
  for (std::size_t at = 0, next = 0; at < output.size(); at = next) {
    const std::string_view line = lineAt(output, at, next);
    if (line.substr(0, kWarning.size()) == kWarning)
      return std::string(line.substr(kWarning.size()));
  }
  return {};
}

EngineMessage readEngineError(std::string_view output) {
  EngineMessage message;
  std::size_t at = 0;
  std::size_t next = 0;
  std::string_view line;
  for (; at < output.size(); at = next) {
    line = lineAt(output, at, next);
    if (line.substr(0, kErrorPrefix.size()) == kErrorPrefix)
      break;
  }
  if (at >= output.size()) {
    message.reason = EngineReason::Unknown;
    return message;
  }
  line = trimmed(line.substr(kErrorPrefix.size()));
  const std::size_t close = line.find("] ");
  if (!line.empty() && line.front() == '[' && close != std::string_view::npos && close > 1 &&
      std::all_of(line.begin() + 1, line.begin() + static_cast<std::ptrdiff_t>(close),
                  isCodeCharacter)) {
    message.reason = reasonOfCode(line.substr(1, close - 1));
    message.text = trimmed(line.substr(close + 2));
    return message;
  }
  // No code: pdftk goes on with indented lines (the file, the cause).
  message.text = line;
  for (at = next; at < output.size(); at = next) {
    const std::string_view more = lineAt(output, at, next);
    if (more.empty() || (more.front() != ' ' && more.front() != '\t'))
      break;
    message.text += " " + std::string(trimmed(more));
  }
  message.reason = reasonOfText(message.text);
  return message;
}

FailureKind failureKind(EngineReason reason, FailureKind step) {
  switch (reason) {
  case EngineReason::PasswordRequired:
  case EngineReason::PasswordIncorrect:
    return FailureKind::Protected;
  case EngineReason::NotFound:
    return FailureKind::Unreadable;
  case EngineReason::Changed:
    return FailureKind::SourceChanged;
  case EngineReason::EngineMissing:
    return FailureKind::EngineMissing;
  // An engine killed by a signal ran out of memory, as one past its time ran out of time.
  case EngineReason::TimedOut:
  case EngineReason::Crashed:
    return FailureKind::Timeout;
  default:
    return step;
  }
}

} // namespace sundrel::bridge
