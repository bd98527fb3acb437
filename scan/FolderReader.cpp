#include "scan/FolderReader.h"

#include "scan/ExclusionRules.h"
#include "scan/clCompositionFolder.h"

void FolderReader::Read(FolderHandle folder, const std::string& path, std::uint16_t level, FolderRead* read,
                        std::stop_token stop) const {
  std::vector<ListedEntry> listing;
  std::string error;
  if (!lister_.List(folder, &listing, &error)) {
    if (error.empty()) error = "cannot be listed";
    if (listing.empty()) {
      read->error = std::move(error);
      return;
    }
    read->brokenOff = std::move(error);  // what was read is walked, and the break reported
  }
  read->found.reserve(listing.size());
  std::vector<FoundEntry*> pages;
  std::string entryPath;  // asked for every entry: one buffer for the folder
  for (ListedEntry& entry : listing) {
    FoundEntry& found = read->found.emplace_back();
    found.name = std::move(entry.name);
    found.kind = entry.kind;
    found.left = IsExcluded(path, found, &entryPath);
    if (found.left) continue;
    if (Enters(found.kind)) ++read->foldersToEnter;
    if (found.kind == ListedEntry::Kind::kFile) {
      found.flags = clCompositionFolder::kRegular;
      if (IsPage(found, level)) pages.push_back(&found);
    } else if (found.kind == ListedEntry::Kind::kBrokenLink) {
      found.flags = clCompositionFolder::kBrokenLink;
    }
  }
  LearnAboutPages(folder, pages, stop);
  MarkFolderPage(read->found, level);
}

FolderRead FolderReader::ReadChild(const OpenedFolder& parent, const std::string& name, bool viaLink,
                                   const std::string& path, std::uint16_t level, bool keepHandle,
                                   std::stop_token stop) const {
  FolderRead read;
  OpenError error;
  const FolderHandle child = lister_.OpenChild(parent.handle(), name, viaLink, &read.id, &error);
  if (child == kNoFolder) {
    read.error = std::move(error.reason);
    read.outOfDescriptors = error.outOfDescriptors;
    return read;
  }
  auto opened = std::make_shared<OpenedFolder>(lister_, child);
  Read(child, path, level, &read, stop);
  if (keepHandle && read.foldersToEnter > 0) read.folder = std::move(opened);
  return read;
}

bool FolderReader::IsExcluded(const std::string& folderPath, const FoundEntry& found, std::string* entryPath) const {
  const ExclusionRules* rules = rules_.exclusions;
  if (!rules || rules->empty()) return false;
  const bool isFolder = found.kind == ListedEntry::Kind::kFolder || found.kind == ListedEntry::Kind::kFolderLink;
  entryPath->assign(folderPath);
  if (!entryPath->empty()) *entryPath += '/';
  *entryPath += found.name;
  return rules->Excludes(*entryPath, isFolder);
}

// Only pages cost a look at the file, and only when asked for.
bool FolderReader::IsPage(const FoundEntry& file, std::uint16_t level) const {
  return (rules_.readModified || rules_.readStamps || rules_.checkNoindex || rules_.readLinks) && rules_.isPage &&
         rules_.isPage(file.name, level);
}

void FolderReader::LearnAboutPages(FolderHandle folder, const std::vector<FoundEntry*>& pages,
                                   std::stop_token stop) const {
  for (FoundEntry* page : pages) {
    if (stop.stop_requested()) return;
    if ((rules_.readModified || rules_.readStamps) && lister_.Stamp(folder, page->name, &page->stamp)) {
      if (rules_.readModified) page->modified = page->stamp.modified;
      if (rules_.readStamps) page->flags |= clCompositionFolder::kStamped;
    }
    if (!rules_.checkNoindex && !rules_.readLinks) continue;
    // One reading of the head for all that is asked of it.
    PageHead::Answer head =
        lister_.ReadPageHead(folder, page->name, {.noindex = rules_.checkNoindex, .links = rules_.readLinks});
    if (head.noindex) page->flags |= clCompositionFolder::kNoindex;
    if (!head.links.empty()) page->links = std::make_unique<HeadLinks>(std::move(head.links));
  }
}

// Decided here, where the folder's whole listing is known, so that whoever
// takes the records in order needs no look ahead.
void FolderReader::MarkFolderPage(std::vector<FoundEntry>& found, std::uint16_t level) const {
  const std::vector<std::string>& names = rules_.folderPageNames;
  if (names.empty()) return;
  FoundEntry* best = nullptr;
  std::size_t bestRank = names.size();
  for (FoundEntry& entry : found) {
    if (entry.left || !(entry.flags & clCompositionFolder::kRegular) || (entry.flags & clCompositionFolder::kNoindex))
      continue;
    for (std::size_t rank = 0; rank < bestRank; ++rank) {
      if (entry.name != names[rank]) continue;
      if (!rules_.isPage || rules_.isPage(entry.name, level)) {
        best = &entry;
        bestRank = rank;
      }
      break;
    }
  }
  if (best) best->flags |= clCompositionFolder::kFolderPage;
}
