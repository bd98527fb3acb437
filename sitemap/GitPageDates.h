#pragma once
#include <cstddef>
#include <ctime>
#include <optional>
#include <stop_token>
#include <string>
#include <unordered_map>
#include <vector>

// The dates git knows of a folder's pages. The repository is the one whose
// work tree holds the folder (found upwards from it, as git finds it; a
// submodule's when the folder lies inside one). A page is dated here when
// it is tracked (a file in the tree of HEAD, not a link, not inside a
// submodule below the folder) and has no uncommitted change, staged or
// not: its date is the committer date of the last commit that changed its
// content along first-parent history from HEAD. So a change that came in
// by a merge is dated by the merge, the day it reached the branch.
//
// Every other page has no date here and is for the caller to date: a
// modified, staged or untracked page, one ignored by git, any page of a
// folder outside a work tree (or in a bare repository, or in one without
// a commit), and a page whose history a shallow clone has cut (counted:
// historyCut()).
//
// History is read once for all the pages: commits are taken newest first
// along first parents, and each one's tree is compared with its parent's
// only below the folder and only where a page is still undated, until
// every page has its date. The repository is only read, its index too.
class GitPageDates {
 public:
  // A repository was found but could not be read (its owner is another
  // user, an object is missing, ...): where, and libgit2's words.
  struct Problem {
    std::string path;
    std::string cause;
  };

  // folder: a real path (no link in it). pages: paths below it, "/"
  // between names. Stops early, leaving the pages not yet dated undated,
  // when stop is asked.
  void Read(const std::string& folder, const std::vector<std::string>& pages, std::stop_token stop = {});

  std::optional<std::time_t> DateOf(const std::string& page) const;
  std::size_t dated() const { return dates_.size(); }
  // Tracked pages without uncommitted changes whose last change lies
  // beyond a shallow clone's first commits.
  std::size_t historyCut() const { return historyCut_; }
  // The work tree the folder lies in, "" when none was found.
  const std::string& workTree() const { return workTree_; }
  const std::optional<Problem>& problem() const { return problem_; }

 private:
  class Walk;

  std::unordered_map<std::string, std::time_t> dates_;
  std::size_t historyCut_ = 0;
  std::string workTree_;
  std::optional<Problem> problem_;
};
