#include "sitemap/GitPageDates.h"

#include <git2.h>

#include <filesystem>
#include <memory>
#include <unordered_set>

namespace {

// libgit2 is set up once, for the program's life. As git itself does, it
// does not hash every object it reads again to check it against its name:
// that took a fifth of a walk through history.
void StartLibrary() {
  static const int started = git_libgit2_init() > 0 && git_libgit2_opts(GIT_OPT_ENABLE_STRICT_HASH_VERIFICATION, 0) == 0;
  (void)started;
}

template <auto Free>
struct Freeing {
  template <class T>
  void operator()(T* object) const { Free(object); }
};
using Repository = std::unique_ptr<git_repository, Freeing<git_repository_free>>;
using Commit = std::unique_ptr<git_commit, Freeing<git_commit_free>>;
using Tree = std::unique_ptr<git_tree, Freeing<git_tree_free>>;
using TreeEntry = std::unique_ptr<git_tree_entry, Freeing<git_tree_entry_free>>;
using StatusList = std::unique_ptr<git_status_list, Freeing<git_status_list_free>>;

std::string LastError() {
  const git_error* error = git_error_last();
  return error && error->message ? error->message : "unknown error";
}

// The folders a page lies in, from the outermost: "", "a/", "a/b/".
template <class Visit>
void ForEachFolderOf(const std::string& page, Visit visit) {
  visit(std::string());
  for (std::size_t slash = page.find('/'); slash != std::string::npos; slash = page.find('/', slash + 1))
    visit(page.substr(0, slash + 1));
}

}  // namespace

// The pages still undated, and how many lie below each folder, so that a
// tree comparison enters only folders that hold one.
class GitPageDates::Walk {
 public:
  Walk(git_repository* repository, std::string prefix, std::unordered_map<std::string, std::time_t>& dates)
      : repository_(repository), prefix_(std::move(prefix)), dates_(dates) {}

  void Want(const std::string& page) {
    if (undated_.insert(page).second) ForEachFolderOf(page, [&](const std::string& folder) { ++below_[folder]; });
  }
  void Forget(const std::string& page) {
    if (undated_.erase(page)) ForEachFolderOf(page, [&](const std::string& folder) { --below_[folder]; });
  }
  std::size_t undated() const { return undated_.size(); }

  // The tree of the folder in a commit; empty when the folder is not in it.
  bool FolderTree(git_commit* commit, Tree* folder) {
    git_tree* root = nullptr;
    if (git_commit_tree(&root, commit) != 0) return false;
    Tree rootTree(root);
    if (prefix_.empty()) {
      *folder = std::move(rootTree);
      return true;
    }
    git_tree_entry* found = nullptr;
    if (git_tree_entry_bypath(&found, rootTree.get(), prefix_.substr(0, prefix_.size() - 1).c_str()) != 0) {
      folder->reset();
      return true;
    }
    TreeEntry entry(found);
    if (git_tree_entry_type(entry.get()) != GIT_OBJECT_TREE) {
      folder->reset();
      return true;
    }
    git_tree* tree = nullptr;
    if (git_tree_lookup(&tree, repository_, git_tree_entry_id(entry.get())) != 0) return false;
    folder->reset(tree);
    return true;
  }

  // Dates, as of when, the undated pages below the folder at path whose
  // content differs between tree and parent (null: a tree without them).
  bool Compare(const git_tree* tree, const git_tree* parent, const std::string& path, std::time_t when) {
    const std::size_t count = git_tree_entrycount(tree);
    const std::size_t& left = below_[path];  // a map's values stay where they are
    for (std::size_t i = 0; i < count && left > 0; ++i) {
      const git_tree_entry* entry = git_tree_entry_byindex(tree, i);
      const char* name = git_tree_entry_name(entry);
      const git_object_t type = git_tree_entry_type(entry);
      const git_tree_entry* old = parent ? git_tree_entry_byname(parent, name) : nullptr;
      if (old && git_tree_entry_type(old) == type && git_oid_equal(git_tree_entry_id(old), git_tree_entry_id(entry)))
        continue;
      if (type == GIT_OBJECT_BLOB) {
        const std::string page = path + name;
        if (undated_.contains(page)) {
          dates_[page] = when;
          Forget(page);
        }
      } else if (type == GIT_OBJECT_TREE) {
        const std::string folder = path + name + "/";
        const auto holding = below_.find(folder);
        if (holding == below_.end() || holding->second == 0) continue;
        git_tree* sub = nullptr;
        if (git_tree_lookup(&sub, repository_, git_tree_entry_id(entry)) != 0) return false;
        Tree subTree(sub);
        Tree oldTree;
        if (old && git_tree_entry_type(old) == GIT_OBJECT_TREE) {
          git_tree* oldSub = nullptr;
          if (git_tree_lookup(&oldSub, repository_, git_tree_entry_id(old)) != 0) return false;
          oldTree.reset(oldSub);
        }
        if (!Compare(subTree.get(), oldTree.get(), folder, when)) return false;
      }
    }
    return true;
  }

 private:
  git_repository* repository_;
  std::string prefix_;  // the folder's path in the work tree, "" or ending in "/"
  std::unordered_map<std::string, std::time_t>& dates_;
  std::unordered_set<std::string> undated_;
  std::unordered_map<std::string, std::size_t> below_;
};

void GitPageDates::Read(const std::string& folder, const std::vector<std::string>& pages, std::stop_token stop) {
  dates_.clear();
  historyCut_ = 0;
  workTree_.clear();
  problem_.reset();
  StartLibrary();
  const auto fail = [&](const std::string& path) { problem_ = Problem{path, LastError()}; };

  git_repository* opened = nullptr;
  const int error = git_repository_open_ext(&opened, folder.c_str(), 0, nullptr);
  if (error == GIT_ENOTFOUND) return;
  if (error != 0) return fail(folder);
  Repository repository(opened);
  // A bare repository has no work tree the folder could lie in.
  const char* workdir = git_repository_workdir(repository.get());
  if (!workdir) return;
  std::error_code ignored;
  const std::filesystem::path tree = std::filesystem::canonical(workdir, ignored);
  if (tree.empty()) return fail(workdir);
  const std::filesystem::path inside = std::filesystem::path(folder).lexically_relative(tree);
  if (inside.empty() || *inside.begin() == "..") return;
  workTree_ = tree.string();
  const std::string prefix = inside == "." ? std::string() : inside.generic_string() + "/";
  if (git_repository_head_unborn(repository.get()) == 1) return;  // no commit yet: nothing is tracked

  git_oid head;
  git_commit* headCommit = nullptr;
  if (git_reference_name_to_id(&head, repository.get(), "HEAD") != 0 ||
      git_commit_lookup(&headCommit, repository.get(), &head) != 0)
    return fail(workTree_);
  Commit commit(headCommit);
  Walk walk(repository.get(), prefix, dates_);
  Tree folderTree;
  if (!walk.FolderTree(commit.get(), &folderTree)) return fail(workTree_);
  if (!folderTree) return;

  // Tracked: a file (no link, no submodule) in HEAD's tree.
  for (const std::string& page : pages) {
    git_tree_entry* found = nullptr;
    if (git_tree_entry_bypath(&found, folderTree.get(), page.c_str()) != 0) continue;
    const TreeEntry entry(found);
    const git_filemode_t mode = git_tree_entry_filemode(entry.get());
    if (mode == GIT_FILEMODE_BLOB || mode == GIT_FILEMODE_BLOB_EXECUTABLE) walk.Want(page);
  }
  // No uncommitted change, staged or in the work tree.
  // Initialised by the library, whose macro leaves fields unnamed.
  git_status_options options{};
  if (git_status_options_init(&options, GIT_STATUS_OPTIONS_VERSION) != 0) return fail(workTree_);
  options.show = GIT_STATUS_SHOW_INDEX_AND_WORKDIR;
  options.flags = GIT_STATUS_OPT_EXCLUDE_SUBMODULES | GIT_STATUS_OPT_DISABLE_PATHSPEC_MATCH;
  // Only the folder's own pages: its path in the work tree, taken literally.
  std::string folderPath = prefix.empty() ? std::string() : prefix.substr(0, prefix.size() - 1);
  char* folderPathText = folderPath.data();
  if (!prefix.empty()) options.pathspec = {&folderPathText, 1};
  git_status_list* listed = nullptr;
  if (git_status_list_new(&listed, repository.get(), &options) != 0) return fail(workTree_);
  const StatusList statuses(listed);
  for (std::size_t i = 0, count = git_status_list_entrycount(statuses.get()); i < count; ++i) {
    const git_status_entry* status = git_status_byindex(statuses.get(), i);
    for (const git_diff_delta* delta : {status->head_to_index, status->index_to_workdir}) {
      if (!delta) continue;
      for (const char* path : {delta->old_file.path, delta->new_file.path}) {
        const std::string_view repositoryPath = path ? path : "";
        if (repositoryPath.starts_with(prefix)) walk.Forget(std::string(repositoryPath.substr(prefix.size())));
      }
    }
  }

  // Newest first along first parents, until every page is dated.
  while (walk.undated() > 0 && !stop.stop_requested()) {
    const std::time_t when = git_commit_time(commit.get());
    if (git_commit_parentcount(commit.get()) == 0) {
      // The first commit added what is still undated.
      if (!walk.Compare(folderTree.get(), nullptr, "", when)) fail(workTree_);
      return;
    }
    git_commit* parentCommit = nullptr;
    if (git_commit_parent(&parentCommit, commit.get(), 0) != 0) {
      // A shallow clone ends at commits whose parents it never fetched.
      if (git_repository_is_shallow(repository.get()) == 1)
        historyCut_ = walk.undated();
      else
        fail(workTree_);
      return;
    }
    Commit parent(parentCommit);
    Tree parentTree;
    if (!walk.FolderTree(parent.get(), &parentTree)) return fail(workTree_);
    const bool same = parentTree && git_oid_equal(git_tree_id(parentTree.get()), git_tree_id(folderTree.get()));
    if (!same && !walk.Compare(folderTree.get(), parentTree.get(), "", when)) return fail(workTree_);
    commit = std::move(parent);
    folderTree = std::move(parentTree);
    if (!folderTree) break;  // the folder came with this commit: all is dated
  }
}

std::optional<std::time_t> GitPageDates::DateOf(const std::string& page) const {
  const auto found = dates_.find(page);
  if (found == dates_.end()) return std::nullopt;
  return found->second;
}
