#include "tovix/FontSubsets.h"

#include "tovix/FontCache.h"
#include "tovix/Inputs.h"

#include <libdeflate.h>
#include <qpdf/Buffer.hh>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

namespace sundrel::tovix {

namespace {

// Compressed once; the part's stream then shares the buffer. Compressing
// new subsets took a seventh of a split with zlib; libdeflate does it in
// half the time, at the same level and a little smaller.
std::shared_ptr<Buffer> deflate(const std::string& data) {
  struct Free {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
  };
  // One per thread: subsets are made on two.
  thread_local std::unique_ptr<libdeflate_compressor, Free> compressor(
      libdeflate_alloc_compressor(6));
  thread_local std::vector<unsigned char> scratch;
  if (!compressor)
    throw std::bad_alloc();
  scratch.resize(libdeflate_zlib_compress_bound(compressor.get(), data.size()));
  const std::size_t size = libdeflate_zlib_compress(compressor.get(), data.data(), data.size(),
                                                    scratch.data(), scratch.size());
  if (size == 0)
    throw std::bad_alloc(); // within the bound it cannot fail
  auto compressed = std::make_shared<Buffer>(size);
  std::memcpy(compressed->getBuffer(), scratch.data(), size);
  if (scratch.capacity() > (4u << 20))
    std::vector<unsigned char>().swap(scratch); // a large font's room is not kept
  return compressed;
}

// Six capital letters from the glyph set, the same for the same set.
std::string tagOf(const std::vector<bool>& keep) {
  std::uint64_t hash = 14695981039346656037ull;
  auto mix = [&hash](std::uint64_t v) {
    for (int i = 0; i < 4; ++i) {
      hash ^= (v >> (8 * i)) & 0xFF;
      hash *= 1099511628211ull;
    }
  };
  mix(keep.size());
  for (std::size_t g = 0; g < keep.size(); ++g) {
    if (keep[g])
      mix(g);
  }
  std::string tag;
  for (int i = 0; i < 6; ++i) {
    tag += static_cast<char>('A' + hash % 26);
    hash /= 26;
  }
  return tag;
}

std::shared_ptr<SubsetResult> makeSubset(const FontProgram& program,
                                         const std::vector<std::uint16_t>& glyphs, bool keepCmap) {
  auto sub = std::make_shared<SubsetResult>();
  std::vector<bool> keep(program.glyphCount, false);
  for (const std::uint16_t g : glyphs)
    keep[g] = true;
  std::string data;
  std::string error;
  if (program.type1) {
    program.type1->addComponents(keep);
    Type1Font::Subset s = program.type1->subset(keep);
    data = std::move(s.program);
    sub->length1 = s.length1;
    sub->length2 = s.length2;
    sub->length3 = s.length3;
    for (std::size_t g = 0; g < keep.size(); ++g) {
      const std::string& name = program.type1->glyphName(static_cast<std::uint32_t>(g));
      if (keep[g] && name != ".notdef")
        sub->names.push_back(name);
    }
  } else if (program.cff) {
    program.cff->addComponents(keep);
    data = program.cff->subset(keep);
  } else {
    if (const CffFont* cff = program.sfnt->cff())
      cff->addComponents(keep);
    data = program.sfnt->subset(keep, keepCmap, error);
    if (data.empty())
      return nullptr;
    sub->length1 = data.size();
  }
  sub->tag = tagOf(keep);
  sub->data = deflate(data);
  sub->keep = std::move(keep);
  return sub;
}

FontCache::SubsetKey subsetKey(QPDFObjGen id, const std::vector<std::uint16_t>& glyphs,
                               bool keepCmap) {
  std::vector<std::uint16_t> key = glyphs;
  key.push_back(keepCmap ? 1 : 0); // the cmap choice changes the program
  return {id, std::move(key)};
}

std::shared_ptr<const SubsetResult>
subsetOf(OpenedInput& in, QPDFObjGen id, const std::vector<std::uint16_t>& glyphs, bool keepCmap) {
  FontCache& cache = fontCacheOf(in);
  FontCache::Kept& kept = cache.subsets[subsetKey(id, glyphs, keepCmap)];
  kept.lastUse = cache.generation;
  if (!kept.subset)
    kept.subset = makeSubset(*cache.programs.at(id), glyphs, keepCmap);
  return kept.subset;
}

std::string tagged(const std::string& name, const std::string& tag) {
  std::string base = name.substr(name.empty() || name[0] != '/' ? 0 : 1);
  if (base.size() > 7 && base[6] == '+' &&
      std::all_of(base.begin(), base.begin() + 6, [](char c) { return c >= 'A' && c <= 'Z'; }))
    base = base.substr(7);
  return "/" + tag + "+" + base;
}

void renameFont(QPDFObjectHandle font, const FontFace& face, const FontProgram& program,
                const SubsetResult& sub) {
  auto rename = [&sub](QPDFObjectHandle dict, const char* key) {
    QPDFObjectHandle name = dict.getKey(key);
    if (name.isName())
      dict.replaceKey(key, QPDFObjectHandle::newName(tagged(name.getName(), sub.tag)));
  };
  rename(font, "/BaseFont");
  QPDFObjectHandle descendant = font;
  if (face.composite) {
    descendant = font.getKey("/DescendantFonts").getArrayItem(0);
    rename(descendant, "/BaseFont");
  }
  QPDFObjectHandle descriptor = descendant.getKey("/FontDescriptor");
  if (!descriptor.isDictionary())
    return;
  rename(descriptor, "/FontName");
  if (descriptor.hasKey("/CharSet")) {
    std::string names;
    for (const std::string& n : sub.names)
      names += "/" + n;
    if (program.type1)
      descriptor.replaceKey("/CharSet", QPDFObjectHandle::newString(names));
    else
      descriptor.removeKey("/CharSet");
  }
  QPDFObjectHandle cidSet = descriptor.getKey("/CIDSet");
  if (!cidSet.isStream())
    return;
  // The CIDs the subset holds, one bit each.
  std::string bits;
  auto set = [&bits](std::uint32_t cid) {
    if (cid / 8 >= bits.size())
      bits.resize(cid / 8 + 1, '\0');
    bits[cid / 8] = static_cast<char>(bits[cid / 8] | (0x80 >> (cid % 8)));
  };
  if (face.cidMap == FontFace::CidMap::Table) {
    for (std::uint32_t cid = 0; cid < face.cidToGid.size(); ++cid) {
      const std::uint16_t g = face.cidToGid[cid];
      if (g < sub.keep.size() && sub.keep[g])
        set(cid);
    }
  } else {
    for (std::uint32_t g = 0; g < sub.keep.size(); ++g) {
      if (sub.keep[g])
        set(face.cidMap == FontFace::CidMap::Identity ? g : program.cffFont()->cidOf(g));
    }
  }
  // Compressed here, not by the writer: a stream the writer compresses
  // comes back with its entries in another order, and the finished part
  // could not be written straight from its pages.
  cidSet.replaceStreamData(deflate(bits), QPDFObjectHandle::newName("/FlateDecode"),
                           QPDFObjectHandle::newNull());
}

struct PartProgram {
  std::vector<std::uint16_t> glyphs;
  std::set<QPDFObjGen> fonts;
};

struct PartFonts {
  std::map<QPDFObjGen, PartProgram> programs;
  std::set<QPDFObjGen> whole;
  bool failed = false;
};

// A program that a simple font draws with keeps its cmap: the font's codes
// reach glyphs through it.
bool keepsCmap(OpenedInput& in, const PartProgram& part) {
  bool keepCmap = false;
  for (const QPDFObjGen& font : part.fonts)
    keepCmap = keepCmap || !faceOf(in, font).composite;
  return keepCmap;
}

// Makes the subsets the part needs that no recent command made, side by side
// on two cores: each is a function of its program and glyphs alone. What
// fails here is made again, and fails as before, when the part is written.
void makeMissingSubsets(const std::vector<OpenedInput*>& order,
                        std::map<OpenedInput*, PartFonts>& parts) {
  struct Job {
    const FontProgram* program;
    const std::vector<std::uint16_t>* glyphs;
    bool keepCmap;
    FontCache::Kept* kept;
    std::shared_ptr<SubsetResult> made;
  };
  std::vector<Job> jobs;
  for (OpenedInput* in : order) {
    PartFonts& part = parts[in];
    if (part.failed)
      continue;
    FontCache& cache = fontCacheOf(*in);
    for (const auto& [id, program] : part.programs) {
      try {
        if (part.whole.count(id) != 0)
          continue;
        const bool keepCmap = keepsCmap(*in, program);
        FontCache::Kept& kept = cache.subsets[subsetKey(id, program.glyphs, keepCmap)];
        if (!kept.subset)
          jobs.push_back({cache.programs.at(id).get(), &program.glyphs, keepCmap, &kept, nullptr});
      } catch (const std::exception&) {
        // left to the writing of the part
      }
    }
  }
  if (jobs.size() < 2 || std::thread::hardware_concurrency() < 2)
    return;
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i; (i = next++) < jobs.size();) {
      try {
        jobs[i].made = makeSubset(*jobs[i].program, *jobs[i].glyphs, jobs[i].keepCmap);
      } catch (const std::exception&) {
        jobs[i].made = nullptr;
      }
    }
  };
  std::thread helper;
  try {
    helper = std::thread(work);
  } catch (const std::system_error&) {
    // no second thread (the memory bound, say): all of them here
  }
  work();
  if (helper.joinable())
    helper.join();
  for (Job& job : jobs)
    job.kept->subset = std::move(job.made);
}

void applySubset(QPDF& out, OpenedInput& in, QPDFObjGen id, const PartProgram& part) {
  FontCache& cache = fontCacheOf(in);
  const FontProgram& program = *cache.programs.at(id);
  const auto sub = subsetOf(in, id, part.glyphs, keepsCmap(in, part));
  if (!sub)
    return; // the subsetter refused: the copy stays whole
  QPDFObjectHandle stream = out.copyForeignObject(in.pdf->getObject(id));
  QPDFObjectHandle dict = stream.getDict();
  stream.replaceStreamData(sub->data, QPDFObjectHandle::newName("/FlateDecode"),
                           QPDFObjectHandle::newNull());
  dict.removeKey("/DecodeParms");
  if (program.type1) {
    dict.replaceKey("/Length1", QPDFObjectHandle::newInteger(static_cast<long long>(sub->length1)));
    dict.replaceKey("/Length2", QPDFObjectHandle::newInteger(static_cast<long long>(sub->length2)));
    dict.replaceKey("/Length3", QPDFObjectHandle::newInteger(static_cast<long long>(sub->length3)));
  } else if (dict.hasKey("/Length1")) {
    dict.replaceKey("/Length1", QPDFObjectHandle::newInteger(static_cast<long long>(sub->length1)));
  }
  for (const QPDFObjGen& font : part.fonts)
    renameFont(out.copyForeignObject(in.pdf->getObject(font)), faceOf(in, font), program, *sub);
}

} // namespace

void subsetFonts(QPDF& out, const std::vector<CopiedPage>& pages) {
  std::vector<OpenedInput*> order;
  std::map<OpenedInput*, PartFonts> parts;
  for (const CopiedPage& page : pages) {
    auto [it, added] = parts.try_emplace(page.input);
    if (added) {
      order.push_back(page.input);
      ++fontCacheOf(*page.input).generation;
    }
    PartFonts& part = it->second;
    const PageGlyphs& glyphs = pageGlyphsOf(*page.input, page.index);
    part.failed = part.failed || glyphs.failed;
    part.whole.insert(glyphs.whole.begin(), glyphs.whole.end());
    for (const PageGlyphs::Program& p : glyphs.programs) {
      PartProgram& into = part.programs[p.id];
      std::vector<std::uint16_t> merged;
      std::set_union(into.glyphs.begin(), into.glyphs.end(), p.glyphs.begin(), p.glyphs.end(),
                     std::back_inserter(merged));
      into.glyphs.swap(merged);
      into.fonts.insert(p.fonts.begin(), p.fonts.end());
    }
  }
  makeMissingSubsets(order, parts);
  for (OpenedInput* in : order) {
    const PartFonts& part = parts[in];
    if (part.failed)
      continue;
    for (const auto& [id, program] : part.programs) {
      if (part.whole.count(id) != 0)
        continue;
      try {
        applySubset(out, *in, id, program);
      } catch (const std::exception&) {
        // A damaged object on the way: this program's copy stays as it is.
      }
    }
  }
  for (OpenedInput* in : order) {
    FontCache& cache = fontCacheOf(*in);
    for (auto it = cache.subsets.begin(); it != cache.subsets.end();) {
      if (it->second.lastUse + 1 < cache.generation)
        it = cache.subsets.erase(it);
      else
        ++it;
    }
  }
}

FontWeights fontWeightsOf(OpenedInput& in, std::size_t index) {
  FontWeights weights;
  const PageGlyphs& page = pageGlyphsOf(in, index);
  if (page.failed)
    return weights;
  FontCache& cache = fontCacheOf(in);
  for (const PageGlyphs::Program& p : page.programs) {
    const FontProgram& program = *cache.programs.at(p.id);
    weights.programs.insert(p.id);
    weights.items.push_back({p.id, -1, program.baseCost});
    for (const std::uint16_t g : p.glyphs)
      weights.items.push_back({p.id, g, program.glyphCost[g]});
  }
  return weights;
}

} // namespace sundrel::tovix
