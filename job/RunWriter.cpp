#include "job/RunWriter.h"

#include <ctime>
#include <filesystem>
#include <system_error>

#include "sitemap/RobotsSitemapLine.h"
#include "sitemap/SearchSelection.h"

namespace {

RunProblem LedgerProblem(const ContentLedger::Problem& problem) {
  using Kind = ContentLedger::Problem::Kind;
  using Code = RunProblem::Code;
  Code code = Code::kLedgerUnwritable;
  switch (problem.kind) {
    case Kind::kUnreadable: code = Code::kLedgerUnreadable; break;
    case Kind::kNotLedger: code = Code::kLedgerNotLedger; break;
    case Kind::kNewerFormat: code = Code::kLedgerNewerFormat; break;
    case Kind::kLocked: code = Code::kLedgerLocked; break;
    case Kind::kUnwritable: code = Code::kLedgerUnwritable; break;
    case Kind::kNotUpdated: code = Code::kLedgerNotUpdated; break;
  }
  return {.code = code, .path = problem.path, .detail = problem.cause};
}

}  // namespace

RunWriter::RunWriter(const SitemapRun::Environment& environment, FileLayer& files, int folder,
                     std::string folderPath, GenerationInputs inputs, LedgerOpener* opening)
    : environment_(environment),
      files_(files),
      folder_(folder),
      folderPath_(std::move(folderPath)),
      inputs_(std::move(inputs)),
      opening_(opening),
      writer_(files, environment.clock) {}

std::string RunWriter::LedgerPathOf(const GenerationInputs& inputs, const std::string& folder) {
  if (!inputs.ledgerPath.empty()) return inputs.ledgerPath;
  std::error_code ignored;
  const std::filesystem::path real = std::filesystem::canonical(folder, ignored);
  return ContentLedger::DefaultPath(real.empty() ? folder : real.string(), inputs.baseUrl);
}

// The ledger is locked before anything is written, and kept only once the
// sitemap is in place.
bool RunWriter::Begin() {
  begun_ = true;
  if (inputs_.lastModFromContent) {
    const std::time_t start = environment_.clock ? environment_.clock() : std::time(nullptr);
    // A kept ledger has been opening since the scan began, for the same
    // inputs: they are read once per run.
    bool opened;
    if (opening_) {
      opened = opening_->Wait();
      ledger_ = &opening_->ledger();
    } else {
      ledger_ = &ownLedger_.emplace();
      opened = ledger_->Open(LedgerPathOf(inputs_, folderPath_), inputs_.ledgerPath.empty());
    }
    if (!opened) return false;
    if (environment_.ledgerCommitGate) ledger_->GateCommit(environment_.ledgerCommitGate);
    history_.emplace(*ledger_, folder_, folderPath_,
                     inputs_.digestText ? PageDigest::Kind::kText : PageDigest::Kind::kBytes, start);
    writer_.UseHistory(&*history_);
  }
  if (environment_.urlsPerPart > 0) writer_.LimitParts(environment_.urlsPerPart);
  return writer_.Begin(folder_, folderPath_, inputs_);
}

bool RunWriter::Start() {
  if (!begun_ && !failed_) failed_ = !Begin();
  return !failed_;
}

bool RunWriter::Take(const clCompositionFolder& entry, const FileStamp* stamp, const HeadLinks* links) {
  if (!Start()) return false;
  failed_ = !writer_.Take(entry, stamp, links);
  return !failed_;
}

void RunWriter::Finish(const std::stop_token& stop, RunResult* result) {
  Start();
  if (ledger_ && ledger_->problem()) {
    result->problem = LedgerProblem(*ledger_->problem());
    return;
  }
  result->writerRan = true;
  if (failed_)
    writer_.Abandon();
  else
    result->written = writer_.Finish(stop);
  if (result->written && history_) {
    if (history_->Stage() && history_->Commit()) {
      result->changeCounts = history_->counts();
      result->changes = history_->changes();
    } else {
      ContentLedger::Problem problem = *ledger_->problem();
      problem.kind = ContentLedger::Problem::Kind::kNotUpdated;
      result->problem = LedgerProblem(problem);
    }
  }
  AddSitemapLine(result);
  result->path = writer_.outputPath();
  result->urlCount = writer_.urlCount();
  result->partCount = writer_.partCount();
  result->gzip = inputs_.gzip;
  result->warnings.Append(writer_.warnings());
}

// Last: robots.txt names the sitemap only once the sitemap and the ledger
// are in place.
void RunWriter::AddSitemapLine(RunResult* result) {
  const std::string& base = inputs_.baseUrl;
  if (!result->written || result->problem || !inputs_.robotsSitemapLine || !SearchSelection::AtHostRoot(base)) return;
  std::string error;
  if (!RobotsSitemapLine::Ensure(files_, folder_, folderPath_, SearchSelection::SitemapUrl(base), &error))
    result->problem = {.code = RunProblem::Code::kRobotsTxtNotUpdated,
                       .path = folderPath_ + "/" + std::string(SearchSelection::kRobotsTxt),
                       .detail = error};
}
