#pragma once
#include <QString>

#include "sitemap/RunProblem.h"
#include "sitemap/UrlText.h"
#include "sitemap/Warning.h"

// The window's Japanese for the reasons the core gives as codes.
namespace ReasonText {

// What is wrong with a base URL.
QString OfBaseUrl(UrlText::BaseProblem problem);

// The short name of a warning's reason, as the result view's table and
// its filter show it ("リンク切れ").
QString NameOf(Warning::Reason reason);
// What the entry's data adds to its reason: the system's reason, a URL's
// length; empty when there is nothing to add.
QString NoteOf(const Warning& warning);

// Why a run wrote nothing, and what the user can do about it.
QString CauseOf(const RunProblem& problem);
QString AdviceFor(const RunProblem& problem);

}  // namespace ReasonText
