#pragma once
// The folders of an extracted tree as an item model: one top row for the volume (or the
// scan's results) under its label, below each folder its sub-folders in the tree's order.
// Files are no rows: the viewer lists them beside. The model points into the tree, which
// must not change while it is shown.
#include <QAbstractItemModel>
#include <QIcon>
#include <unordered_map>
#include <vector>

#include "recovery/Filelist.h"

class TFolderTreeModel : public QAbstractItemModel {
 public:
  using QAbstractItemModel::QAbstractItemModel;

  QIcon RootIcon;
  QIcon FolderIcon;

  // Shows the folders under `root`, its row labelled `label`; null shows nothing.
  void SetRoot(const TExtractedFile* root, const QString& label);
  // The node a row stands for; null for no row.
  static const TExtractedFile* NodeOf(const QModelIndex& index);

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 private:
  struct TPlace {
    const TExtractedFile* Parent = nullptr;
    int Row = 0;
    std::vector<const TExtractedFile*> Folders;
  };
  void AddPlace(const TExtractedFile& node, const TExtractedFile* parent, int row);
  const TPlace* PlaceOf(const QModelIndex& index) const;

  const TExtractedFile* Root = nullptr;
  QString Label;
  std::unordered_map<const TExtractedFile*, TPlace> Places;
};
