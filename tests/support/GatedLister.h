#pragma once
#include "TestSupport.h"
#include "scan/DirectoryLister.h"

// The real lister, holding the scan just after its first listing until the
// test opens the gate: the scan has seen the folder's entries and not yet
// entered any of them.
class GatedLister : public PosixDirectoryLister {
 public:
  bool List(FolderHandle folder, std::vector<ListedEntry>* entries, std::string* error) override {
    const bool listed = PosixDirectoryLister::List(folder, entries, error);
    if (!held_) {
      held_ = true;
      gate.Arrive();
    }
    return listed;
  }

  Gate gate;

 private:
  bool held_ = false;
};
