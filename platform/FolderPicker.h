#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class QFileSystemModel;
class QLabel;
class QModelIndex;
class QPushButton;
class QShowEvent;
class QTimer;
class QTreeView;

namespace platform {

// A modal chooser of one file-system folder: a caption above a tree of folders, a status line,
// "OK" and "Cancel". Linux has no shell folder browser, so this dialog stands in for it and
// talks the same way: it announces when it is ready and whenever the highlight moves, and its
// owner's handlers tell it which folder to highlight and what the status line says.
class FolderPicker : public QDialog {
  Q_OBJECT
 public:
  // The dialog is modal to `owner` (to the whole program when owner is null).
  FolderPicker(QWidget* owner, const QString& caption);
  ~FolderPicker() override;

  // Highlights `folder`, expands its branch and keeps it scrolled into view while the tree
  // loads. Returns false and changes nothing when `folder` is empty, relative or no folder.
  bool setSelection(const QString& folder);
  void setStatusText(const QString& text);

  QString caption() const;
  QString statusText() const;
  // The highlighted folder, "" when none: no trailing "/" except for the root itself.
  QString currentPath() const;
  QTreeView* tree() const { return tree_; }
  QPushButton* okButton() const { return ok_; }

  // Called on the event loop with each picker right after it has been shown and initialized.
  // Tests use it to drive the modal dialog; the program leaves it empty.
  using ShownHook = std::function<void(FolderPicker&)>;
  static void setShownHook(ShownHook hook);

 signals:
  // Sent once, when the dialog is about to take input.
  void initialized();
  // Sent when the highlight moves; `path` is "" for an item without a file-system path.
  void selectionChanged(const QString& path);

 public slots:
  void done(int result) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void onCurrentChanged(const QModelIndex& current);
  void onDirectoryLoaded(const QString& dir);
  void scheduleReveal();
  void revealPending();
  QString pathOf(const QModelIndex& index) const;

  QLabel* caption_;
  QTreeView* tree_;
  QLabel* status_;
  QPushButton* ok_;
  QFileSystemModel* model_;
  QTimer* revealTimer_;
  QString statusText_;
  QString pending_;  // folder to keep in view until the user moves the highlight
  bool moving_ = false;
  bool initialized_ = false;
};

}  // namespace platform
