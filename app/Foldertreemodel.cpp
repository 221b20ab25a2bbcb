#include "app/Foldertreemodel.h"

#include "recovery/Extractjob.h"

void TFolderTreeModel::SetRoot(const TExtractedFile* root, const QString& label) {
  beginResetModel();
  Places.clear();
  Root = root;
  Label = label;
  if (Root) AddPlace(*Root, nullptr, 0);
  endResetModel();
}

void TFolderTreeModel::AddPlace(const TExtractedFile& node, const TExtractedFile* parent, int row) {
  TPlace& place = Places[&node];  // stays where it is when the map grows
  place.Parent = parent;
  place.Row = row;
  for (const TExtractedFile& child : node.Children) {
    if (!TFileCopyJob::IsFolder(child)) continue;
    AddPlace(child, &node, static_cast<int>(place.Folders.size()));
    place.Folders.push_back(&child);
  }
}

const TExtractedFile* TFolderTreeModel::NodeOf(const QModelIndex& index) {
  return index.isValid() ? static_cast<const TExtractedFile*>(index.constInternalPointer()) : nullptr;
}

const TFolderTreeModel::TPlace* TFolderTreeModel::PlaceOf(const QModelIndex& index) const {
  const auto found = Places.find(NodeOf(index));
  return found == Places.end() ? nullptr : &found->second;
}

QModelIndex TFolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column != 0) return {};
  if (!parent.isValid()) return row == 0 && Root ? createIndex(0, 0, Root) : QModelIndex();
  const TPlace* place = PlaceOf(parent);
  if (!place || static_cast<size_t>(row) >= place->Folders.size()) return {};
  return createIndex(row, 0, place->Folders[static_cast<size_t>(row)]);
}

QModelIndex TFolderTreeModel::parent(const QModelIndex& child) const {
  const TPlace* place = PlaceOf(child);
  if (!place || !place->Parent) return {};
  return createIndex(Places.at(place->Parent).Row, 0, place->Parent);
}

int TFolderTreeModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return Root ? 1 : 0;
  const TPlace* place = parent.column() == 0 ? PlaceOf(parent) : nullptr;
  return place ? static_cast<int>(place->Folders.size()) : 0;
}

int TFolderTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant TFolderTreeModel::data(const QModelIndex& index, int role) const {
  const TExtractedFile* node = NodeOf(index);
  if (!node) return {};
  if (role == Qt::DisplayRole) return node == Root ? Label : QString::fromStdString(node->Name);
  if (role == Qt::DecorationRole) return node == Root ? RootIcon : FolderIcon;
  return {};
}
