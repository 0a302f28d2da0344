#pragma once

#include "tovix/Support.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <map>
#include <memory>
#include <string>
#include <vector>

// Opening the input files of a command.
namespace sundrel::tovix {

struct Outline;
struct NamedDestinations;

struct OpenedInput {
  const Input* given = nullptr; // the input as the command line names it
  std::string data;             // the whole file, when small enough; outlives `pdf`
  std::unique_ptr<QPDF> pdf;
  std::vector<QPDFPageObjectHelper> pages;
  bool pagesLoaded = false;
  bool keepEncryption = false; // encrypted, yet opened without any password
  std::unique_ptr<QPDFAcroFormDocumentHelper> forms;
  bool sharesResourcesKnown = false;
  bool sharesResources = false;
  // Read on first use; they never change while the file is open.
  std::shared_ptr<Outline> outline;
  std::shared_ptr<NamedDestinations> names;
  std::shared_ptr<std::map<long long, QPDFObjectHandle>> labels; // page labels
};

// The inputs of one command, each file opened once however often it is named.
class Inputs {
public:
  void open(const Command& cmd);

  // The input for Command::inputs[index].
  OpenedInput& at(std::size_t index) { return *byIndex_.at(index); }
  OpenedInput& front() { return *opened_.front(); }
  const std::vector<std::unique_ptr<OpenedInput>>& all() const { return opened_; }

  // Notes the inputs that libqpdf had to repair.
  void reportRepairs(Context& ctx) const;

private:
  std::vector<std::unique_ptr<OpenedInput>> opened_;
  std::vector<OpenedInput*> byIndex_; // one per Command::inputs entry
};

// The pages of an input, read once.
std::vector<QPDFPageObjectHelper>& pagesOf(OpenedInput& in);

} // namespace sundrel::tovix
