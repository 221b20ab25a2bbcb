#include "recovery/Twintree.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "recovery/Outputname.h"

namespace {

using TFileKey = std::pair<int64_t, uint32_t>;  // a file's first sector and size
constexpr int kUnpaired = -1;

bool IsDirectory(const TExtractedFile& node) { return node.DirRecord.IsDirectory() != 0; }

void AddFileKeys(const TExtractedFile& node, std::vector<TFileKey>& keys) {
  for (const TExtractedFile& child : node.Children) {
    if (IsDirectory(child))
      AddFileKeys(child, keys);
    else
      keys.emplace_back(child.Start, child.Size);
  }
}

// How alike two names of the two trees are: the length of their common start once both
// are folded to the upper-case letters and digits an 8-bit name keeps.
size_t Likeness(const std::string& a, const std::string& b) {
  const auto fold = [](const std::string& s) {
    std::string out;
    for (const unsigned char c : s) out += c < 0x80 && std::isalnum(c) ? static_cast<char>(std::toupper(c)) : '_';
    return out;
  };
  const std::string x = fold(a), y = fold(b);
  const size_t n = std::min(x.size(), y.size());
  return static_cast<size_t>(std::mismatch(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n), y.begin()).first -
                             x.begin());
}

// For each child of `mine`, the index of its twin among the children of `twin`.
std::vector<int> PairDirectories(const TExtractedFile& mine, const TExtractedFile& twin) {
  std::vector<int> pairs(mine.Children.size(), kUnpaired);
  std::vector<bool> taken(twin.Children.size(), false);
  std::map<TFileKey, size_t> holder;  // file -> the twin's subdirectory holding it
  for (size_t j = 0; j < twin.Children.size(); ++j) {
    if (!IsDirectory(twin.Children[j])) continue;
    std::vector<TFileKey> keys;
    AddFileKeys(twin.Children[j], keys);
    for (const TFileKey& key : keys) holder.emplace(key, j);
  }
  // By the files they share.
  for (size_t k = 0; k < mine.Children.size(); ++k) {
    if (!IsDirectory(mine.Children[k])) continue;
    std::vector<TFileKey> keys;
    AddFileKeys(mine.Children[k], keys);
    std::map<size_t, size_t> votes;
    for (const TFileKey& key : keys)
      if (const auto it = holder.find(key); it != holder.end() && !taken[it->second]) ++votes[it->second];
    const auto best = std::max_element(votes.begin(), votes.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    if (best == votes.end()) continue;
    pairs[k] = static_cast<int>(best->first);
    taken[best->first] = true;
  }
  // The rest by name, then in order; those that lost sectors first.
  for (const bool lacking : {true, false}) {
    for (size_t k = 0; k < mine.Children.size(); ++k) {
      const TExtractedFile& m = mine.Children[k];
      if (!IsDirectory(m) || pairs[k] != kUnpaired || LacksEntries(m) != lacking) continue;
      int best = kUnpaired;
      size_t bestLikeness = 0;
      for (size_t j = 0; j < twin.Children.size(); ++j) {
        if (taken[j] || !IsDirectory(twin.Children[j])) continue;
        const size_t likeness = Likeness(m.Name, twin.Children[j].Name);
        if (best == kUnpaired || likeness > bestLikeness) best = static_cast<int>(j), bestLikeness = likeness;
      }
      if (best == kUnpaired) continue;
      pairs[k] = best;
      taken[static_cast<size_t>(best)] = true;
    }
  }
  return pairs;
}

// The twin's files that `mine` does not list and its directories without a pair in `mine`.
void AddMissing(TExtractedFile& mine, const TExtractedFile& twin, const std::vector<int>& pairs) {
  std::multiset<TFileKey> listed;
  std::set<std::string> used;
  for (const TExtractedFile& child : mine.Children) {
    used.insert(child.Name);
    if (!IsDirectory(child)) listed.emplace(child.Start, child.Size);
  }
  std::set<size_t> paired;
  for (const int j : pairs)
    if (j != kUnpaired) paired.insert(static_cast<size_t>(j));
  for (size_t j = 0; j < twin.Children.size(); ++j) {
    const TExtractedFile& t = twin.Children[j];
    if (IsDirectory(t) && paired.count(j)) continue;
    if (!IsDirectory(t)) {
      const auto it = listed.find({t.Start, t.Size});
      if (it != listed.end()) {
        listed.erase(it);
        continue;
      }
    }
    TExtractedFile copy = t;
    copy.Name = UniqueLeafName(t.Name, used);
    mine.Children.push_back(std::move(copy));
  }
  if (twin.UnreadSectors == 0) mine.UnreadSectors = 0;
}

}  // namespace

bool LacksEntries(const TExtractedFile& directory) {
  return directory.UnreadSectors != 0 ||
         std::any_of(directory.Children.begin(), directory.Children.end(),
                     [](const TExtractedFile& c) { return IsDirectory(c) && LacksEntries(c); });
}

uint64_t LackingSectors(const TExtractedFile& directory) {
  uint64_t sectors = directory.UnreadSectors;
  for (const TExtractedFile& child : directory.Children)
    if (IsDirectory(child)) sectors += LackingSectors(child);
  return sectors;
}

void FillFromTwin(TExtractedFile& mine, const TExtractedFile& twin) {
  const std::vector<int> pairs = PairDirectories(mine, twin);
  for (size_t k = 0; k < pairs.size(); ++k)
    if (pairs[k] != kUnpaired && LacksEntries(mine.Children[k]))
      FillFromTwin(mine.Children[k], twin.Children[static_cast<size_t>(pairs[k])]);
  if (mine.UnreadSectors != 0) AddMissing(mine, twin, pairs);
}
