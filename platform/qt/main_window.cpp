#include "platform/qt/main_window.h"

#include "app/edit_binding.h"

#include "app/app_state.h"
#include "app/commands.h"
#include "app/startup.h"
#include "document/mesh_document.h"
#include "document/obj_reader.h"
#include "platform/qt/gl_view.h"
#include "platform/qt/write_failed_box.h"
#ifdef MARROWBY_HAS_VIEWS
#include "platform/qt/view_binding.h"
#include "uvexport/uv_layout.h"
#endif

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QShortcut>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

MainWindow* g_current = nullptr;

} // namespace

MainWindow::MainWindow() {
    g_current = this;
    app_bind_edit_calls();
#ifdef MARROWBY_HAS_VIEWS
    platform_bind_views();
#endif
    setObjectName(APP_CLASS_NAME);
    setWindowTitle(APP_TITLE);
    QIcon icon;
    icon.addPixmap(QPixmap(":/marrowby.png"));
    icon.addPixmap(QPixmap(":/marrowby_small.png"));
    setWindowIcon(icon);
    views_ = new GlView(this);
    setCentralWidget(views_);
    buildMenus();
    buildToolBar();
    buildAccelerators();
    refreshMenuState();
    resize(1024, 720);
    views_->setFocus();
}

MainWindow::~MainWindow() {
    if (AppState::instance().busyShown) {
        QApplication::restoreOverrideCursor();
        AppState::instance().busyShown = false;
    }
    if (g_current == this)
        g_current = nullptr;
}

MainWindow* MainWindow::current() {
    return g_current;
}

QAction* MainWindow::menuAction(int id) const {
    auto it = menuActions_.find(id);
    return it == menuActions_.end() ? nullptr : it->second;
}

QAction* MainWindow::toolAction(int id) const {
    auto it = toolActions_.find(id);
    return it == toolActions_.end() ? nullptr : it->second;
}

void MainWindow::buildMenus() {
    int count = 0;
    const Menu* menus = menu_bar(&count);
    for (int m = 0; m < count; m++) {
        QMenu* menu = menuBar()->addMenu(menus[m].title);
        for (int i = 0; i < menus[m].count; i++) {
            const MenuItem& item = menus[m].items[i];
            QAction* a = menu->addAction(QString::fromUtf8(item.text));
            a->setData(item.id);
            a->setCheckable(item.checkable);
            int id = item.id;
            connect(a, &QAction::triggered, this, [this, id] { runCommand(id); });
            menuActions_[id] = a;
            if (item.separatorAfter)
                menu->addSeparator();
        }
    }
}

void MainWindow::buildToolBar() {
    toolBar_ = addToolBar("Toolbar");
    toolBar_->setObjectName("toolbar");
    toolBar_->setMovable(false);
    toolBar_->setIconSize(QSize(16, 16));
    QPixmap strip(":/toolbar.png");
    int count = 0;
    const ToolbarEntry* entries = toolbar_entries(&count);
    for (int i = 0; i < count; i++) {
        const ToolbarEntry& e = entries[i];
        if (e.image < 0) {
            toolBar_->addSeparator();
            continue;
        }
        QAction* a = toolBar_->addAction(QIcon(strip.copy(e.image * 16, 0, 16, 16)), e.tooltip);
        a->setToolTip(e.tooltip);
        a->setData(e.id);
        int id = e.id;
        connect(a, &QAction::triggered, this, [this, id] { runCommand(id); });
        toolActions_[id] = a;
    }
}

void MainWindow::buildAccelerators() {
    // Alt with "?" or "/" opens About.
    for (QKeyCombination k :
         {QKeyCombination(Qt::AltModifier, Qt::Key_Question),
          QKeyCombination(Qt::AltModifier | Qt::ShiftModifier, Qt::Key_Question),
          QKeyCombination(Qt::AltModifier, Qt::Key_Slash)}) {
        // The program's one window: its accelerators hold wherever the focus is.
        auto* s = new QShortcut(QKeySequence(k), this);
        s->setContext(Qt::ApplicationShortcut);
        connect(s, &QShortcut::activated, this, [this] { runCommand(IDM_ABOUT); });
    }
}

void MainWindow::refreshMenuState() {
    const AppState& app = AppState::instance();
    for (auto& [id, a] : menuActions_) {
        a->setEnabled(app.isEnabled(id));
        if (a->isCheckable())
            a->setChecked(app.isChecked(id));
    }
    for (auto& [id, a] : toolActions_) {
        a->setEnabled(app.isEnabled(id));
        a->setCheckable(id == ID_EDGE_SELECT || id == ID_UV_SELECT || id == ID_UV_MOVE);
        if (a->isCheckable())
            a->setChecked(app.isToolChecked(id));
    }
}

void MainWindow::startFirstUnwrap() {
    if (startStartupUnwrap())
        syncUnwrapBusy();
}

void MainWindow::unwrapLanded() {
    startupUnwrapLanded(); // the first unwrap's warnings, once
    syncUnwrapBusy();
}

void MainWindow::syncUnwrapBusy() {
    bool busy = false;
    if (!AppState::instance().unwrapBusyChanged(&busy))
        return;
    if (ViewCalls& v = app_view_calls(); v.uvBusy)
        v.uvBusy(busy);
    if (busy)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QApplication::restoreOverrideCursor();
    views_->update();
}

void MainWindow::runCommand(int id) {
    CommandOutcome out = AppState::instance().runCommand(id);
    switch (out.action) {
    case WindowAction::LoadDialog:
        showLoadDialog();
        break;
    case WindowAction::Save:
        saveDocument();
        break;
    case WindowAction::SaveAsDialog:
        showSaveAsDialog();
        break;
    case WindowAction::ExportUvDialog:
        showExportUvDialog();
        break;
    case WindowAction::About:
        showAbout();
        break;
    case WindowAction::Exit:
        close();
        return;
    case WindowAction::None:
        break;
    }
    refreshMenuState();
    syncUnwrapBusy();
    if (out.repaint)
        views_->update();
}

void MainWindow::centreOverClient(QWidget* dialog) {
    QWidget* client = views_;
    QSize size = dialog->size();
    QPoint centre = client->mapToGlobal(QPoint(client->width() / 2, client->height() / 2));
    dialog->move(centre.x() - size.width() / 2, centre.y() - size.height() / 2);
}

void MainWindow::setUpFileDialog(QFileDialog& dialog, bool save) {
    // Qt's own dialog, so that tests can drive it. The pattern after the shown name is the one
    // that filters: "*" lists every file, where "*.*" would skip names without a dot.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters({QString("%1 (%2)").arg(OBJ_FILTER_NAME, OBJ_FILTER_PATTERN),
                           QString("%1 (*)").arg(ALL_FILTER_NAME)});
    dialog.setDefaultSuffix(OBJ_DEFAULT_EXTENSION);
    // Save As may create a file; the dialog asks before it replaces one (its default).
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setObjectName(save ? "saveAsDialog" : "loadDialog");
}

void MainWindow::showLoadDialog() {
    QFileDialog dialog(this);
    setUpFileDialog(dialog, false);
    dialog.resize(dialog.sizeHint());
    centreOverClient(&dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    std::string path = dialog.selectedFiles().first().toLocal8Bit().toStdString();
    if (!AppState::instance().loadChosenFile(path))
        showLoadFailed(last_obj_reader() ? last_obj_reader()->error : std::string());
    refreshMenuState();
    views_->update();
}

bool MainWindow::chooseSavePath(std::string& path) {
    QFileDialog dialog(this);
    setUpFileDialog(dialog, true);
    dialog.resize(dialog.sizeHint());
    centreOverClient(&dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    path = dialog.selectedFiles().first().toLocal8Bit().toStdString();
    return true;
}

WriteFailedAnswer MainWindow::askAfterFailedWrite(const std::string& message) {
    return ask_after_failed_write(this, message);
}

void MainWindow::saveDocument() {
    if (SaveFlow(*this).save() == SaveOutcome::CloseUnsaved)
        close();
}

void MainWindow::showSaveAsDialog() {
    std::string path;
    if (chooseSavePath(path) && SaveFlow(*this).saveAs(path) == SaveOutcome::CloseUnsaved)
        close();
    views_->update();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A second close while the box is open waits for the answer to the first.
    if (closing_) {
        event->ignore();
        return;
    }
    closing_ = true;
    const SaveOutcome outcome = SaveFlow(*this).close();
    closing_ = false;
    if (outcome == SaveOutcome::Cancelled) {
        event->ignore();
        views_->update();
        return;
    }
    event->accept();
}

void MainWindow::showExportUvDialog() {
    QFileDialog dialog(this);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters({SVG_FILTER_NAME, PNG_FILTER_NAME});
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setObjectName("exportUvDialog");
    dialog.resize(dialog.sizeHint());
    centreOverClient(&dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    std::string path = dialog.selectedFiles().first().toLocal8Bit().toStdString();
    // A name without the picture's extension gets the one of the chosen format.
    UvPictureFormat format;
    if (!uv_picture_format_of(path, &format))
        path += dialog.selectedNameFilter() == PNG_FILTER_NAME ? ".png" : ".svg";
    std::string error;
    if (!export_uv_layout(MeshDocument::instance(), path, UV_PICTURE_DEFAULT_SIZE,
                          AppState::instance().showStretch, &error))
        QMessageBox::warning(this, "Export UV Layout", QString::fromLocal8Bit(error.c_str()));
}

void MainWindow::showAbout() {
    QDialog dialog(this);
    dialog.setObjectName("aboutDialog");
    dialog.setWindowTitle(ABOUT_CAPTION);
    auto* layout = new QVBoxLayout(&dialog);
    auto* picture = new QLabel(&dialog);
    picture->setObjectName("aboutPicture");
    picture->setPixmap(QPixmap(":/about.png"));
    picture->setAlignment(Qt::AlignCenter);
    layout->addWidget(picture);
    // 250 x 262 dialog units of the System font.
    dialog.setFixedSize(375, 426);
    centreOverClient(&dialog);
    dialog.exec();
}

void MainWindow::showLoadFailed(const std::string& reason) {
    QDialog dialog(this);
    dialog.setObjectName("loadFailedDialog");
    dialog.setWindowTitle(LOAD_FAILED_CAPTION);
    auto* layout = new QVBoxLayout(&dialog);
    auto* text = new QLabel(QString::fromUtf8(LOAD_FAILED_TEXT), &dialog);
    text->setObjectName("loadFailedText");
    text->setTextFormat(Qt::PlainText);
    layout->addWidget(text);
    // The fixed text speaks of texture coordinates and normals whatever the cause; the
    // reader's own message names the file, the line and what is wrong.
    if (!reason.empty()) {
        auto* why = new QLabel(QString::fromLocal8Bit(reason.c_str()), &dialog);
        why->setObjectName("loadFailedReason");
        why->setTextFormat(Qt::PlainText);
        why->setWordWrap(true);
        layout->addWidget(why);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog.adjustSize();
    centreOverClient(&dialog);
    dialog.exec();
}

void MainWindow::showStartupProblem() {
    const StartupState& state = startup_state();
    if (state.startupProblem.empty())
        return;
    if (state.loadFailed) {
        showLoadFailed(state.startupProblem);
        return;
    }
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(APP_TITLE),
                    QString::fromLocal8Bit(state.startupProblem.c_str()), QMessageBox::Ok, this);
    box.setObjectName("startupProblem");
    box.exec();
}
