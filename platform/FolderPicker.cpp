#include "platform/FolderPicker.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace platform {

namespace {

FolderPicker::ShownHook& shownHook() {
  static FolderPicker::ShownHook hook;
  return hook;
}

// Folders only. A folder the user may not list keeps no expand arrow, so it is shown but
// cannot be entered, and no error is ever raised for it.
class FolderModel : public QFileSystemModel {
 public:
  using QFileSystemModel::QFileSystemModel;

  bool hasChildren(const QModelIndex& parent) const override {
    return enterable(parent) && QFileSystemModel::hasChildren(parent);
  }
  bool canFetchMore(const QModelIndex& parent) const override {
    return enterable(parent) && QFileSystemModel::canFetchMore(parent);
  }

 private:
  bool enterable(const QModelIndex& index) const {
    if (!index.isValid()) return true;  // the invisible root above "/"
    const QFileInfo info = fileInfo(index);
    return info.isReadable() && info.isExecutable();
  }
};

// Hidden folders stay out of the tree unless the folder to show lies inside one.
bool insideHiddenFolder(const QString& path) {
  for (const QString& part : path.split('/', Qt::SkipEmptyParts)) {
    if (part.startsWith('.')) return true;
  }
  return false;
}

}  // namespace

FolderPicker::FolderPicker(QWidget* owner, const QString& caption) : QDialog(owner) {
  setObjectName("FolderPicker");
  setWindowTitle(tr("Browse for Folder"));
  setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);
  setSizeGripEnabled(true);

  caption_ = new QLabel(caption, this);
  caption_->setObjectName("caption");
  caption_->setWordWrap(true);

  model_ = new FolderModel(this);
  model_->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
  model_->setReadOnly(true);
  model_->setRootPath(QDir::rootPath());

  tree_ = new QTreeView(this);
  tree_->setObjectName("folders");
  tree_->setModel(model_);
  tree_->setHeaderHidden(true);
  for (int column = 1; column < model_->columnCount(); ++column) tree_->hideColumn(column);
  tree_->setSortingEnabled(true);
  tree_->sortByColumn(0, Qt::AscendingOrder);
  tree_->setSelectionMode(QAbstractItemView::SingleSelection);
  tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Long folder names scroll sideways instead of being cut.
  tree_->header()->setStretchLastSection(false);
  tree_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);

  status_ = new QLabel(this);
  status_->setObjectName("status");
  status_->setWordWrap(true);
  // A long path wraps at its separators instead of widening the dialog past the screen.
  status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  ok_->setDefault(true);
  ok_->setEnabled(false);  // nothing highlighted yet
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(caption_);
  layout->addWidget(tree_, 1);
  layout->addWidget(status_);
  layout->addWidget(buttons);
  resize(380, 440);

  connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) { onCurrentChanged(current); });
  // Rows arrive from the model's loader thread and are sorted later still, so the preselected
  // folder is brought back into view after each of those steps, once the events have settled.
  revealTimer_ = new QTimer(this);
  revealTimer_->setSingleShot(true);
  revealTimer_->setInterval(0);
  connect(revealTimer_, &QTimer::timeout, this, [this] { revealPending(); });
  connect(model_, &QFileSystemModel::directoryLoaded, this,
          [this](const QString& dir) { onDirectoryLoaded(dir); });
  connect(model_, &QAbstractItemModel::rowsInserted, this, [this] { scheduleReveal(); });
  connect(model_, &QAbstractItemModel::layoutChanged, this, [this] { scheduleReveal(); });
  // Any scrolling, click or key of the user's own ends the pull towards the preselection.
  tree_->installEventFilter(this);
  tree_->viewport()->installEventFilter(this);
  connect(tree_->verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
          [this] { pending_.clear(); });
  tree_->setFocus();
}

FolderPicker::~FolderPicker() = default;

void FolderPicker::setShownHook(ShownHook hook) { shownHook() = std::move(hook); }

bool FolderPicker::setSelection(const QString& folder) {
  if (folder.isEmpty() || !QDir::isAbsolutePath(folder)) return false;
  const QFileInfo info(folder);
  if (!info.isDir()) return false;
  const QString path = QDir::cleanPath(info.absoluteFilePath());
  if (insideHiddenFolder(path) && !(model_->filter() & QDir::Hidden)) {
    model_->setFilter(model_->filter() | QDir::Hidden);
    // The model re-filters loaded folders only when it sorts; do that now, not later.
    model_->sort(0, Qt::AscendingOrder);
  }
  const QModelIndex index = model_->index(path);
  if (!index.isValid()) return false;

  moving_ = true;
  tree_->setCurrentIndex(index);
  moving_ = false;
  pending_ = path;
  revealPending();
  return true;
}

void FolderPicker::setStatusText(const QString& text) {
  statusText_ = text;
  QString shown = text;
  shown.replace('/', QStringLiteral("/\u200B"));  // zero-width break opportunities
  status_->setText(shown);
}

QString FolderPicker::caption() const { return caption_->text(); }

QString FolderPicker::statusText() const { return statusText_; }

QString FolderPicker::currentPath() const { return pathOf(tree_->currentIndex()); }

void FolderPicker::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (initialized_) return;
  initialized_ = true;
  emit initialized();
  // Nothing asked for, or the folder is gone: open at home, as a file dialog would.
  if (!tree_->currentIndex().isValid() && !setSelection(QDir::homePath())) {
    setSelection(QDir::rootPath());
  }
  tree_->setFocus();
  scheduleReveal();  // the view has its real size only now
  if (shownHook()) {
    QTimer::singleShot(0, this, [this] {
      if (shownHook()) shownHook()(*this);
    });
  }
}

bool FolderPicker::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
      pending_.clear();
      break;
    default:
      break;
  }
  return QDialog::eventFilter(watched, event);
}

void FolderPicker::done(int result) {
  QDialog::done(result);
  // Hand the keyboard back to the owner: without a window manager nothing else does, and the
  // owner's access keys would stay dead until it is clicked.
  if (QWidget* owner = parentWidget()) owner->window()->activateWindow();
}

void FolderPicker::onCurrentChanged(const QModelIndex& current) {
  // The user has taken over; stop pulling the preselected folder back into view.
  if (!moving_) pending_.clear();
  ok_->setEnabled(current.isValid());
  emit selectionChanged(pathOf(current));
}

void FolderPicker::onDirectoryLoaded(const QString& dir) {
  if (pending_.isEmpty()) return;
  if (pending_ == dir || pending_.startsWith(dir.endsWith('/') ? dir : dir + '/')) {
    scheduleReveal();
  }
}

void FolderPicker::scheduleReveal() {
  if (!pending_.isEmpty()) revealTimer_->start();
}

void FolderPicker::revealPending() {
  if (pending_.isEmpty()) return;
  const QModelIndex index = model_->index(pending_);
  if (!index.isValid()) return;
  for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) tree_->expand(up);
  tree_->expand(index);
  tree_->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

QString FolderPicker::pathOf(const QModelIndex& index) const {
  if (!index.isValid()) return {};
  const QString path = model_->filePath(index);
  return path.isEmpty() ? QString() : QDir::cleanPath(path);
}

}  // namespace platform
