#include "tovix/StreamData.h"

#include "tovix/Support.h"

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>

#include <deque>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace sundrel::tovix {

namespace {

// Collects decoded bytes and stops the decoding once they would pass the
// bound: the exception ends the filters' work at once, however much input
// they still hold.
class BoundedSink : public Pipeline {
public:
  BoundedSink(std::string& out, std::uint64_t limit)
      : Pipeline("bounded stream data", nullptr), out_(out), limit_(limit) {}
  void write(unsigned char const* data, size_t len) override {
    if (len > limit_ - out_.size()) {
      exceeded = true;
      throw std::length_error("decoded stream data past the bound");
    }
    out_.append(reinterpret_cast<const char*>(data), len);
  }
  void finish() override {}
  std::size_t size() const { return out_.size(); }
  const std::string& data() const { return out_; }
  bool exceeded = false;

private:
  std::string& out_;
  std::uint64_t limit_;
};

std::string objectName(QPDFObjectHandle oh) {
  return oh.isIndirect() ? "object " + oh.getObjGen().unparse(' ') : "a direct stream";
}

Failure pastBound(const std::string& what, std::uint64_t limit) {
  return Failure(Reason::TooLarge, what + " decodes to more than " + std::to_string(limit >> 20) +
                                       " MiB, past the engine's bound for decoded data");
}

// The last few streams decoded cleanly, by document and object. Small: it
// only bridges two readings of one page's content in a row.
struct Decoded {
  unsigned long long document;
  QPDFObjGen id;
  std::string data;
};
constexpr std::size_t kRecentStreams = 8;
constexpr std::size_t kRecentBytes = 1u << 20;
thread_local std::deque<Decoded> recent;

bool plainOrFlate(QPDFObjectHandle dict) {
  QPDFObjectHandle filter = dict.getKey("/Filter");
  if (filter.isArray() && filter.getArrayNItems() == 1)
    filter = filter.getArrayItem(0);
  return (filter.isNull() || (filter.isName() && filter.getName() == "/FlateDecode")) &&
         dict.getKey("/DecodeParms").isNull();
}

void remember(QPDFObjectHandle stream, std::string_view data) {
  if (data.size() > kRecentBytes || recentlyDecoded(stream) != nullptr || !stream.isIndirect() ||
      !plainOrFlate(stream.getDict()))
    return;
  recent.push_back({stream.getOwningQPDF()->getUniqueId(), stream.getObjGen(), std::string(data)});
  std::size_t bytes = 0;
  for (const Decoded& d : recent)
    bytes += d.data.size();
  while (recent.size() > kRecentStreams || bytes > kRecentBytes) {
    bytes -= recent.front().data.size();
    recent.pop_front();
  }
}

// Appends the decoded data of `stream`; false when it cannot be decoded
// cleanly. libqpdf turns the sink's exception into a failed read, so the
// sink says whether the bound was the cause.
bool append(QPDFObjectHandle stream, BoundedSink& sink, const std::string& what,
            std::uint64_t limit) {
  QPDF* owner = stream.getOwningQPDF();
  const std::size_t warnings = owner != nullptr ? owner->numWarnings() : 0;
  const std::size_t before = sink.size();
  bool filtered = false;
  bool ok = false;
  try {
    ok = stream.pipeStreamData(&sink, &filtered, 0, qpdf_dl_specialized, true, false);
  } catch (const std::exception&) {
    ok = false;
  }
  if (sink.exceeded)
    throw pastBound(what, limit);
  if (ok && filtered && owner != nullptr && owner->numWarnings() == warnings)
    remember(stream, std::string_view(sink.data()).substr(before));
  return ok && filtered;
}

} // namespace

const std::string* recentlyDecoded(QPDFObjectHandle stream) {
  QPDF* owner = stream.getOwningQPDF();
  if (owner == nullptr || !stream.isIndirect())
    return nullptr;
  for (const Decoded& d : recent) {
    if (d.document == owner->getUniqueId() && d.id == stream.getObjGen())
      return &d.data;
  }
  return nullptr;
}

std::optional<std::string> boundedStreamData(QPDFObjectHandle stream, std::uint64_t limit) {
  std::string data;
  BoundedSink sink(data, limit);
  if (!stream.isStream() ||
      !append(stream, sink, "the stream data of " + objectName(stream), limit))
    return std::nullopt;
  return data;
}

std::optional<std::string> boundedContent(QPDFPageObjectHelper pageOrForm, std::uint64_t limit) {
  QPDFObjectHandle oh = pageOrForm.getObjectHandle();
  std::vector<QPDFObjectHandle> streams;
  if (oh.isStream()) {
    streams.push_back(oh); // a form XObject
  } else {
    QPDFObjectHandle contents = oh.getKey("/Contents");
    if (contents.isStream())
      streams.push_back(contents);
    else if (contents.isArray())
      streams = contents.getArrayAsVector();
    else if (!contents.isNull())
      return std::nullopt;
  }
  std::string data;
  BoundedSink sink(data, limit);
  const std::string what = "the content of " + objectName(oh);
  for (QPDFObjectHandle& stream : streams) {
    if (!stream.isStream())
      return std::nullopt;
    // Streams are joined as readers join them: a line break between two
    // that do not end with one.
    if (!data.empty() && data.back() != '\n') {
      if (data.size() >= limit)
        throw pastBound(what, limit);
      data += '\n';
    }
    if (!append(stream, sink, what, limit))
      return std::nullopt;
  }
  return data;
}

} // namespace sundrel::tovix
