#include "tovix/GlyphUsage.h"

#include "tovix/ContentLexer.h"
#include "tovix/StreamData.h"

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>

#include <algorithm>
#include <bitset>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <tuple>
#include <unordered_map>

namespace sundrel::tovix {

namespace {

constexpr std::size_t kContentLimit = 64u << 20;
constexpr int kDeepest = 12; // forms in forms, Type 3 glyphs in forms...

class Collect : public Pipeline {
public:
  Collect(std::string& data, std::size_t limit)
      : Pipeline("collect", nullptr), data_(data), limit_(limit) {}
  void write(unsigned char const* bytes, size_t len) override {
    if (len > limit_ - std::min(limit_, data_.size()))
      throw std::length_error("stream data over the limit");
    data_.append(reinterpret_cast<const char*>(bytes), len);
  }
  void finish() override {}

private:
  std::string& data_;
  std::size_t limit_;
};

bool isName(QPDFObjectHandle h, const char* name) {
  return h.isName() && h.getName() == name;
}

QPDFObjectHandle dictOf(QPDFObjectHandle h) {
  return h.isStream() ? h.getDict() : h;
}

bool isType3(QPDFObjectHandle font) {
  return font.isDictionary() && isName(font.getKey("/Subtype"), "/Type3");
}

// An annotation whose appearance a reader may make again from its /DA (form
// fields, free text): every glyph of its fonts may be needed.
bool regeneratesAppearance(QPDFObjectHandle annot) {
  if (isName(annot.getKey("/Subtype"), "/Widget"))
    return true;
  QPDFObjectHandle node = annot;
  for (int i = 0; i < 32 && node.isDictionary(); ++i) {
    if (node.hasKey("/DA") || node.hasKey("/FT"))
      return true;
    node = node.getKey("/Parent");
  }
  return false;
}

// Resource dictionaries in use, innermost first (readers look outward for a
// name the innermost lacks), and the object that holds the innermost.
struct Frame {
  std::vector<QPDFObjectHandle> resources;
  QPDFObjGen owner;
  int depth = 0;

  QPDFObjectHandle lookup(const char* type, const std::string& name) const {
    const std::string key = "/" + name;
    for (QPDFObjectHandle r : resources) {
      QPDFObjectHandle dict = r.getKey(type);
      if (dict.isDictionary() && dict.hasKey(key))
        return dict.getKey(key);
    }
    return QPDFObjectHandle::newNull();
  }
};

class Scanner {
public:
  explicit Scanner(PageFontUse& use) : use_(use) {}

  void scanPage(QPDFObjectHandle page);
  void scanForm(QPDFObjectHandle form, const Frame& parent, QPDFObjectHandle font);
  void scanGlyphs(QPDFObjectHandle type3, const std::vector<std::uint32_t>& codes,
                  const Frame& frame);
  void show(QPDFObjectHandle font, const std::string& bytes, const Frame& frame);
  // Moves the codes shown into the result.
  void finish();
  // The objects whose resources were read: their fonts' use is known, but
  // for those whose content could not all be read, whose fonts stay whole.
  std::set<QPDFObjGen> scannedOwners(std::set<QPDFObjGen>& programs) const {
    for (const QPDFObjGen& owner : bad_) {
      const auto it = resourcesOf_.find(owner);
      if (it != resourcesOf_.end())
        collectPrograms(it->second, programs);
    }
    return read_;
  }

private:
  void enter(const Frame& frame) {
    if (frame.resources.empty())
      return;
    read_.insert(frame.owner);
    resourcesOf_.emplace(frame.owner, frame.resources.front());
    QPDFObjectHandle resources = frame.resources.front();
    QPDFObjectHandle fonts = resources.getKey("/Font");
    if (!fonts.isDictionary())
      return;
    for (auto& [key, font] : fonts.ditems()) {
      (void)key;
      if (!font.isDictionary())
        continue;
      if (font.isIndirect())
        use_.codes.emplace(font.getObjGen(), std::vector<std::uint32_t>{});
      else
        collectPrograms(font, use_.wholePrograms);
    }
  }
  void run(const std::string& content, const Frame& frame, QPDFObjectHandle font);

  PageFontUse& use_;
  struct Shown {
    bool composite = false, type3 = false;
    std::bitset<256> codes;          // simple fonts
    std::vector<std::uint32_t> cids; // composite fonts
  };
  std::set<QPDFObjGen> read_, bad_;
  std::map<QPDFObjGen, QPDFObjectHandle> resourcesOf_;
  std::map<QPDFObjGen, Shown> shown_;
  std::set<std::tuple<QPDFObjGen, QPDFObjGen, QPDFObjGen>> formsSeen_;
  friend class TextState;
};

// Follows one content stream: the font in the graphics state, text shown
// in it, and what the stream draws.
class TextState : public ContentHandler {
public:
  TextState(Scanner& scanner, const Frame& frame, QPDFObjectHandle font)
      : scanner_(scanner), frame_(frame), font_(font) {}

  void onOperator(std::string_view op, const std::vector<ContentOperand>& operands) override {
    // Most operators draw paths or move text: leave them at once.
    if (op.size() > 3 || std::string_view("qQTDgsS'\"").find(op[0]) == std::string_view::npos)
      return;
    const ContentOperand* last = operands.empty() ? nullptr : &operands.back();
    if (op == "q") {
      saved_.push_back(font_);
    } else if (op == "Q") {
      if (!saved_.empty()) {
        font_ = saved_.back();
        saved_.pop_back();
      }
    } else if (op == "Tf") {
      if (operands.size() >= 2 && operands[0].kind == ContentOperand::Kind::Name)
        font_ = frame_.lookup("/Font", operands[0].text);
    } else if (op == "Tj" || op == "'" || op == "\"") {
      if (last && last->kind == ContentOperand::Kind::String) {
        scanner_.show(font_, last->text, frame_);
        if (last->hasAlternative)
          scanner_.show(font_, last->alternative, frame_);
      }
    } else if (op == "TJ") {
      if (last && last->kind == ContentOperand::Kind::Array) {
        for (const std::string& s : last->strings)
          scanner_.show(font_, s, frame_);
      }
    } else if (op == "Do") {
      if (last && last->kind == ContentOperand::Kind::Name)
        scanner_.scanForm(frame_.lookup("/XObject", last->text), frame_, font_);
    } else if (op == "gs") {
      if (last && last->kind == ContentOperand::Kind::Name)
        graphicsState(frame_.lookup("/ExtGState", last->text));
    } else if (op == "scn" || op == "SCN") {
      if (last && last->kind == ContentOperand::Kind::Name)
        scanner_.scanForm(frame_.lookup("/Pattern", last->text), frame_, font_);
    }
  }

private:
  void graphicsState(QPDFObjectHandle gs) {
    if (!gs.isDictionary())
      return;
    QPDFObjectHandle font = gs.getKey("/Font");
    if (font.isArray() && font.getArrayNItems() >= 1)
      font_ = font.getArrayItem(0);
    QPDFObjectHandle mask = gs.getKey("/SMask");
    if (mask.isDictionary())
      scanner_.scanForm(mask.getKey("/G"), frame_, font_);
  }

  Scanner& scanner_;
  const Frame& frame_;
  QPDFObjectHandle font_;
  std::vector<QPDFObjectHandle> saved_;
};

void Scanner::run(const std::string& content, const Frame& frame, QPDFObjectHandle font) {
  TextState state(*this, frame, font);
  if (!readContent(content, state))
    bad_.insert(frame.owner);
}

void Scanner::scanPage(QPDFObjectHandle page) {
  Frame frame;
  frame.owner = page.getObjGen();
  QPDFObjectHandle resources = page.getKey("/Resources");
  if (resources.isDictionary())
    frame.resources.push_back(resources);
  enter(frame);
  std::string content;
  QPDFObjectHandle contents = page.getKey("/Contents");
  std::vector<QPDFObjectHandle> streams;
  if (contents.isArray()) {
    for (auto& item : contents.aitems())
      streams.push_back(item);
  } else if (!contents.isNull()) {
    streams.push_back(contents);
  }
  bool ok = true;
  for (QPDFObjectHandle& s : streams) {
    std::string part;
    if (!s.isStream() || !readStream(s, part, kContentLimit - content.size())) {
      ok = false;
      break;
    }
    content += part;
    content += '\n';
  }
  if (ok)
    run(content, frame, QPDFObjectHandle::newNull());
  else
    bad_.insert(frame.owner);

  QPDFObjectHandle annots = page.getKey("/Annots");
  if (!annots.isArray())
    return;
  const Frame none;
  for (auto& annot : annots.aitems()) {
    if (!annot.isDictionary() || regeneratesAppearance(annot))
      continue; // the walk finds its fonts: they stay whole
    QPDFObjectHandle ap = annot.getKey("/AP");
    if (!ap.isDictionary())
      continue;
    for (const char* kind : {"/N", "/R", "/D"}) {
      QPDFObjectHandle a = ap.getKey(kind);
      if (a.isStream()) {
        scanForm(a, none, QPDFObjectHandle::newNull());
      } else if (a.isDictionary()) {
        for (auto& [state, stream] : a.ditems()) {
          (void)state;
          scanForm(stream, none, QPDFObjectHandle::newNull());
        }
      }
    }
  }
}

// A form XObject, a tiling pattern or a soft mask's group: a content stream
// with resources of its own or those of the stream that draws it.
void Scanner::scanForm(QPDFObjectHandle form, const Frame& parent, QPDFObjectHandle font) {
  if (!form.isStream())
    return;
  QPDFObjectHandle dict = form.getDict();
  const bool isForm = isName(dict.getKey("/Subtype"), "/Form");
  const bool isTiling =
      dict.getKey("/PatternType").isInteger() && dict.getKey("/PatternType").getIntValue() == 1;
  if (!isForm && !isTiling)
    return;
  QPDFObjectHandle resources = dict.getKey("/Resources");
  Frame frame;
  frame.depth = parent.depth + 1;
  if (resources.isDictionary()) {
    frame.resources.push_back(resources);
    frame.owner = form.getObjGen();
  } else {
    frame.owner = parent.owner;
  }
  frame.resources.insert(frame.resources.end(), parent.resources.begin(), parent.resources.end());
  const QPDFObjGen fontId = font.isIndirect() ? font.getObjGen() : QPDFObjGen();
  if (!formsSeen_.emplace(form.getObjGen(), fontId, parent.owner).second)
    return;
  if (frame.depth > kDeepest) {
    bad_.insert(frame.owner);
    return;
  }
  enter(frame);
  std::string content;
  if (!readStream(form, content, kContentLimit))
    bad_.insert(frame.owner);
  else
    run(content, frame, font);
}

// The glyph procedures of a Type 3 font that has no resources of its own:
// they draw with those of the content that shows them.
void Scanner::scanGlyphs(QPDFObjectHandle type3, const std::vector<std::uint32_t>& codes,
                         const Frame& frame) {
  if (type3.getKey("/Resources").isDictionary())
    return; // the walk finds its fonts: they stay whole
  QPDFObjectHandle procs = type3.getKey("/CharProcs");
  QPDFObjectHandle encoding = type3.getKey("/Encoding");
  QPDFObjectHandle differences =
      encoding.isDictionary() ? encoding.getKey("/Differences") : QPDFObjectHandle::newNull();
  if (!procs.isDictionary() || !differences.isArray())
    return;
  std::map<std::uint32_t, std::string> names;
  long code = 0;
  for (auto& item : differences.aitems()) {
    if (item.isInteger())
      code = static_cast<long>(item.getIntValue());
    else if (item.isName() && code >= 0 && code < 256)
      names[static_cast<std::uint32_t>(code++)] = item.getName();
  }
  Frame inner = frame;
  inner.depth = frame.depth + 1;
  if (inner.depth > kDeepest) {
    bad_.insert(frame.owner);
    return;
  }
  for (const std::uint32_t c : codes) {
    const auto name = names.find(c);
    if (name == names.end())
      continue;
    QPDFObjectHandle proc = procs.getKey(name->second);
    if (!proc.isStream() || !formsSeen_.emplace(proc.getObjGen(), QPDFObjGen(), frame.owner).second)
      continue;
    std::string content;
    if (!readStream(proc, content, kContentLimit))
      bad_.insert(frame.owner);
    else
      run(content, inner, QPDFObjectHandle::newNull());
  }
}

void Scanner::show(QPDFObjectHandle font, const std::string& bytes, const Frame& frame) {
  if (bytes.empty() || !font.isDictionary())
    return;
  if (!font.isIndirect()) {
    collectPrograms(font, use_.wholePrograms);
    return;
  }
  const QPDFObjGen id = font.getObjGen();
  auto [it, added] = shown_.try_emplace(id);
  Shown& state = it->second;
  if (added) {
    state.composite = isName(font.getKey("/Subtype"), "/Type0");
    state.type3 = isType3(font);
  }
  if (state.composite) {
    if (bytes.size() % 2 != 0)
      use_.wholeFonts.insert(id);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
      state.cids.push_back((static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 8) |
                           static_cast<unsigned char>(bytes[i + 1]));
    if (state.cids.size() > 4096) {
      std::sort(state.cids.begin(), state.cids.end());
      state.cids.erase(std::unique(state.cids.begin(), state.cids.end()), state.cids.end());
    }
    return;
  }
  std::vector<std::uint32_t> fresh;
  for (const char c : bytes) {
    const auto code = static_cast<unsigned char>(c);
    if (!state.codes.test(code)) {
      state.codes.set(code);
      fresh.push_back(code);
    }
  }
  if (state.type3 && !fresh.empty())
    scanGlyphs(font, fresh, frame);
}

void Scanner::finish() {
  for (auto& [id, state] : shown_) {
    std::vector<std::uint32_t>& codes = use_.codes[id];
    if (state.composite) {
      codes.insert(codes.end(), state.cids.begin(), state.cids.end());
    } else {
      for (std::uint32_t c = 0; c < 256; ++c) {
        if (state.codes.test(c))
          codes.push_back(c);
      }
    }
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
  }
}

// Every object reachable from the page, except through the page tree and
// into other pages. Resources whose content was read are left out (what
// they draw was followed), but for Type 3 fonts with resources of their
// own; any font program met otherwise stays whole.
void walkPage(QPDFObjectHandle page, const std::set<QPDFObjGen>& scanned,
              std::set<QPDFObjGen>& programs) {
  std::vector<QPDFObjectHandle> stack{page};
  std::unordered_map<unsigned long long, bool> visited;
  bool first = true;
  auto push = [&stack](QPDFObjectHandle h) {
    if (h.isArray() || h.isDictionary() || h.isStream())
      stack.push_back(h);
  };
  while (!stack.empty()) {
    QPDFObjectHandle h = stack.back();
    stack.pop_back();
    if (h.isIndirect()) {
      QPDFObjectHandle d = dictOf(h);
      if (!first && d.isDictionary() &&
          (isName(d.getKey("/Type"), "/Page") || isName(d.getKey("/Type"), "/Pages")))
        continue;
      const QPDFObjGen og = h.getObjGen();
      if (!visited
               .emplace((static_cast<unsigned long long>(og.getObj()) << 16) ^
                            static_cast<unsigned long long>(og.getGen()),
                        true)
               .second)
        continue;
    }
    first = false;
    if (h.isArray()) {
      for (auto& item : h.aitems())
        push(item);
      continue;
    }
    QPDFObjectHandle d = dictOf(h);
    for (const char* key : {"/FontFile", "/FontFile2", "/FontFile3"}) {
      QPDFObjectHandle file = d.getKey(key);
      if (file.isStream())
        programs.insert(file.getObjGen());
    }
    const bool scannedOwner = h.isIndirect() && scanned.count(h.getObjGen()) != 0;
    for (auto& [key, value] : d.ditems()) {
      if (key == "/Parent")
        continue;
      if (key != "/Resources" || !scannedOwner) {
        push(value);
        continue;
      }
      QPDFObjectHandle fonts = value.isDictionary() ? value.getKey("/Font") : value;
      if (!fonts.isDictionary())
        continue;
      for (auto& [name, font] : fonts.ditems()) {
        (void)name;
        if (isType3(font))
          push(font);
      }
    }
  }
}

} // namespace

bool readStream(QPDFObjectHandle stream, std::string& data, std::size_t limit) {
  data.clear();
  if (const std::string* known = recentlyDecoded(stream)) {
    if (known->size() > limit)
      return false;
    data = *known;
    return true;
  }
  QPDF* owner = stream.getOwningQPDF();
  const std::size_t warnings = owner != nullptr ? owner->numWarnings() : 0;
  try {
    Collect collect(data, limit);
    const bool ok = stream.pipeStreamData(&collect, 0, qpdf_dl_generalized, true, false);
    if (ok && (owner == nullptr || owner->numWarnings() == warnings))
      return true;
  } catch (const std::exception&) {
  }
  data.clear();
  return false;
}

void collectPrograms(QPDFObjectHandle root, std::set<QPDFObjGen>& programs) {
  walkPage(root, {}, programs);
}

PageFontUse scanPageFonts(QPDFObjectHandle page) {
  PageFontUse use;
  Scanner scanner(use);
  try {
    scanner.scanPage(page);
    scanner.finish();
    walkPage(page, scanner.scannedOwners(use.wholePrograms), use.wholePrograms);
  } catch (const std::exception&) {
    use.failed = true;
  }
  return use;
}

} // namespace sundrel::tovix
