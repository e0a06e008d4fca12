// The main window under a virtual display: menus, toolbar, greyed items, keys and menu
// commands reaching the dispatcher, the dialogs, the live unwrap message and the write-back at
// exit. Saves a screenshot of the window for the README.

#include "app/app_state.h"
#include "app/startup.h"
#include "document/engine_options.h"
#include "document/mesh_document.h"
#include "document/undo_history.h"
#include "platform/key_state.h"
#include "platform/qt/gl_view.h"
#include "platform/qt/key_map.h"
#include "platform/qt/main_window.h"
#include "platform/qt/window_run.h"
#include "window_test_util.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <unistd.h>

namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Runs `act` on the first modal widget of the given object name once it is open (modal dialogs
// block the caller inside exec()).
std::vector<QTimer*> g_timers;

// Types a path into Qt's own file dialog (selectFile leaves a focused name field alone).
void choose(QFileDialog* d, const std::string& path) {
    auto* name = d->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    name->setText(QString::fromStdString(path));
}

void when_modal(const QString& name, std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    g_timers.push_back(timer);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, name, act] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || (!name.isEmpty() && w->objectName() != name))
            return;
        timer->stop();
        act(w);
    });
    timer->start();
}

struct Window : testing::Test {
    std::string dir = "/tmp/marrowby_window_test_" + std::to_string(getpid());
    std::string box = dir + "/box.obj";
    std::string other = dir + "/other.obj";
    std::string bad = dir + "/bad.obj";
    std::unique_ptr<MainWindow> window;

    void SetUp() override {
        application();
        shutdownCleanup();
        AppState::instance().reset();
        startup_state() = StartupState{};
        engine_options() = EngineOptions{};
        app_edit_calls() = EditCalls{};
        std::string src = std::string(MARROWBY_SOURCE_DIR) + "/examples/box.obj";
        std::string cmd = "rm -rf " + dir + " && mkdir -p " + dir + " && cp " + src + " " + box +
                          " && cp " + src + " " + other;
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        std::ofstream(bad) << "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 7\n"; // a corner past the vertices
    }
    void TearDown() override {
        // A step that never ran must not fire into the next test.
        for (QTimer* t : g_timers)
            delete t;
        g_timers.clear();
        window.reset();
        shutdownCleanup();
        QCoreApplication::processEvents();
        (void)std::system(("rm -rf " + dir).c_str());
    }
    bool parse(const std::string& text) {
        std::vector<char> line(text.begin(), text.end());
        line.push_back('\0');
        return parseCommandLine(line.data());
    }
    void open() {
        window = std::make_unique<MainWindow>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->views()->setFocus();
        QCoreApplication::processEvents();
    }
};

TEST_F(Window, StartedWithAFileShowsTitleMenusToolbarAndGreysTheFileCommands) {
    ASSERT_FALSE(parse("\"" + box + "," + dir + "/none.bin,,,\""));
    ASSERT_GT(MeshDocument::instance().faceCount, 0);
    open();
    EXPECT_EQ(window->windowTitle(), "Marrowby 1.1");

    QStringList titles;
    for (QAction* a : window->menuBar()->actions())
        titles << a->text();
    EXPECT_EQ(titles, (QStringList{"File", "Edit", "Edge Mode", "UV Mode", "Switches", "Textures",
                                   "Help"}));
    int count = 0;
    const Menu* menus = menu_bar(&count);
    for (int m = 0; m < count; m++) {
        QMenu* menu = window->menuBar()->actions()[m]->menu();
        ASSERT_NE(menu, nullptr);
        QStringList shown, expected;
        for (QAction* a : menu->actions())
            shown << (a->isSeparator() ? QString("--") : a->text());
        for (int i = 0; i < menus[m].count; i++) {
            expected << QString::fromUtf8(menus[m].items[i].text);
            if (menus[m].items[i].separatorAfter)
                expected << "--";
        }
        EXPECT_EQ(shown, expected) << menus[m].title;
    }
    EXPECT_EQ(window->menuAction(ID_UV_MINV)->text(), "Min V\tKeypad 8");
    EXPECT_EQ(window->menuAction(IDM_EXIT)->text(), "E&xit");

    for (int id : {ID_FILE_LOAD, ID_FILE_SAVE, ID_FILE_SAVEAS})
        EXPECT_FALSE(window->menuAction(id)->isEnabled()) << id;
    EXPECT_TRUE(window->menuAction(IDM_EXIT)->isEnabled());
    EXPECT_TRUE(window->menuAction(ID_EDIT_UNDO)->isEnabled());
    EXPECT_FALSE(window->menuAction(ID_SWITCH_LSCM)->isChecked());
    EXPECT_TRUE(window->menuAction(ID_SWITCH_FILLHOLES)->isChecked());
    EXPECT_FALSE(window->menuAction(ID_SWITCH_WIREFRAME)->isChecked());
    EXPECT_FALSE(window->menuAction(ID_TEXTURE_CHECKER)->isCheckable());

    QStringList tips;
    int separators = 0;
    for (QAction* a : window->toolBar()->actions()) {
        if (a->isSeparator()) {
            separators++;
            continue;
        }
        tips << a->toolTip();
        EXPECT_FALSE(a->icon().isNull());
        EXPECT_EQ(a->icon().pixmap(16, 16).size(), QSize(16, 16));
    }
    EXPECT_EQ(separators, 3);
    EXPECT_EQ(tips,
              (QStringList{"Undo", "Redo", "Edge Select", "Cut Edges", "Weld Edges", "UV Select",
                           "UV Move", "Pin UVs", "Unpin UVs", "Relax UVs", "Align to Minimum U",
                           "Align to Minimum V", "Align to Maximum U", "Align to Maximum V"}));

    // The views fill the client area under the menu and toolbar.
    EXPECT_EQ(window->centralWidget(), window->views());
    QSurfaceFormat f = window->views()->format();
    EXPECT_EQ(f.profile(), QSurfaceFormat::CompatibilityProfile);
    EXPECT_GT(f.depthBufferSize(), 0);
    EXPECT_EQ(f.swapBehavior(), QSurfaceFormat::DoubleBuffer);
    EXPECT_EQ(AppState::instance().right, window->views()->width());

    // Frames come from the views: the 3D view and the UV view differ from a plain background.
    QImage frame = window->views()->grabFramebuffer();
    ASSERT_FALSE(frame.isNull());
    QImage shot = window->grab().toImage();
    EXPECT_TRUE(shot.save(MARROWBY_SCREENSHOT));
}

TEST_F(Window, ShowStretchWithSwitchesKeepsTheirMarks) {
    ASSERT_TRUE(AppState::instance().loadChosenFile(box));
    open();
    window->menuAction(ID_SWITCH_WIREFRAME)->trigger();
    EXPECT_TRUE(window->menuAction(ID_SWITCH_WIREFRAME)->isChecked());
    EXPECT_TRUE(AppState::instance().wireframe);
    window->menuAction(ID_SWITCH_SINGLESELECT)->trigger();
    window->menuAction(ID_SWITCH_SINGLESELECT)->trigger();
    EXPECT_FALSE(window->menuAction(ID_SWITCH_SINGLESELECT)->isChecked());
    window->menuAction(ID_TEXTURE_STRETCH)->trigger();
    EXPECT_TRUE(AppState::instance().showStretch);
    EXPECT_FALSE(window->menuAction(ID_TEXTURE_STRETCH)->isChecked());
}

std::vector<int> g_aligns;

TEST_F(Window, KeysMenuAndToolbarReachTheDispatcher) {
    ASSERT_TRUE(AppState::instance().loadChosenFile(box));
    UndoHistory& h = UndoHistory::instance();
    h.push();
    int newest = h.currentId();
    open();
    QTest::keyClick(window->views(), Qt::Key_Z);
    EXPECT_LT(h.currentId(), newest);
    window->menuAction(ID_EDIT_REDO)->trigger();
    EXPECT_EQ(h.currentId(), newest);
    window->toolAction(ID_EDIT_UNDO)->trigger();
    EXPECT_LT(h.currentId(), newest);

    g_aligns.clear();
    app_edit_calls().alignSelected = [](AlignSide s) {
        g_aligns.push_back(int(s));
        return true;
    };
    QTest::keyClick(window->views(), Qt::Key_4, Qt::KeypadModifier);
    QTest::keyClick(window->views(), Qt::Key_Down, Qt::KeypadModifier); // keypad 2, NumLock off
    QTest::keyClick(window->views(), Qt::Key_Down);                     // the arrow: no align
    QTest::keyClick(window->views(), Qt::Key_4);                        // the digit: no align
    window->menuAction(ID_UV_MINU)->trigger();
    window->toolAction(ID_UV_MAXV)->trigger();
    EXPECT_EQ(g_aligns, (std::vector<int>{ALIGN_MIN_U, ALIGN_MIN_V, ALIGN_MIN_U, ALIGN_MIN_V}));
}

std::vector<int> g_sceneEvents;

TEST_F(Window, MouseButtonsBecomeInputEventsForTheViewUnderThePointer) {
    open();
    g_sceneEvents.clear();
    app_view_calls().sceneHandleMouse = [](int e, int, int, int, int) {
        g_sceneEvents.push_back(e);
        return false;
    };
    GlView* v = window->views();
    QPoint p(60, 80);
    QTest::mouseMove(v, p);
    QTest::mousePress(v, Qt::RightButton, Qt::NoModifier, p);
    EXPECT_TRUE(platform_key_down(VK_KEY_RBUTTON));
    QTest::mouseRelease(v, Qt::RightButton, Qt::NoModifier, p);
    EXPECT_FALSE(platform_key_down(VK_KEY_RBUTTON));
    QTest::mousePress(v, Qt::MiddleButton, Qt::NoModifier, p);
    QTest::mouseRelease(v, Qt::MiddleButton, Qt::NoModifier, p);
    // Qt Test sends the double-click alone; the window system sends press, release,
    // double-click, release.
    QTest::mouseDClick(v, Qt::LeftButton, Qt::NoModifier, p);
    QTest::mouseRelease(v, Qt::LeftButton, Qt::NoModifier, p);
    std::vector<int> buttons;
    for (int e : g_sceneEvents)
        if (e != EVT_MOUSE_MOVE)
            buttons.push_back(e);
    EXPECT_EQ(buttons, (std::vector<int>{EVT_RBUTTON_DOWN, EVT_RBUTTON_UP, EVT_MBUTTON_DOWN,
                                         EVT_MBUTTON_UP, EVT_LBUTTON_DBLCLK, EVT_LBUTTON_UP}));
    EXPECT_EQ(AppState::instance().dragTarget, 0);
}

TEST_F(Window, KeyMapGivesTheVirtualKeyNumbers) {
    EXPECT_EQ(virtual_key_from_qt(Qt::Key_A, Qt::ShiftModifier, 0), 'A');
    EXPECT_EQ(virtual_key_from_qt(Qt::Key_Shift, Qt::ShiftModifier, 0), 16);
    EXPECT_EQ(virtual_key_from_qt(Qt::Key_Control, Qt::NoModifier, 0), 17);
    EXPECT_EQ(virtual_key_from_qt(Qt::Key_Left, Qt::NoModifier, 0), 37);
    EXPECT_EQ(virtual_key_from_qt(Qt::Key_Right, Qt::NoModifier, 0), 39);
    EXPECT_EQ(virtual_key_from_qt(Qt::Key_8, Qt::KeypadModifier, 0), 104);
    EXPECT_EQ(virtual_key_from_qt(Qt::Key_Up, Qt::KeypadModifier, 0), 104);
    EXPECT_EQ(virtual_key_from_qt(Qt::Key_Left, Qt::KeypadModifier, 0), 100);
    EXPECT_EQ(virtual_key_from_qt(Qt::Key_Right, Qt::KeypadModifier, 0), 102);
    EXPECT_EQ(virtual_key_from_qt(Qt::Key_6, Qt::NoModifier, 0), '6');
    EXPECT_EQ(virtual_key_from_qt(Qt::Key_Alt, Qt::AltModifier, XK_ALT_L), 164);
    EXPECT_EQ(virtual_key_from_qt(Qt::Key_Alt, Qt::AltModifier, XK_ALT_R), 165);
}

TEST_F(Window, LeftAltIsHeldUntilReleasedOrFocusIsLostAndDoesNotOpenTheMenuBar) {
    ASSERT_TRUE(AppState::instance().loadChosenFile(box));
    UndoHistory::instance().push();
    int newest = UndoHistory::instance().currentId();
    open();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier, 64, XK_ALT_L, 0);
    QApplication::sendEvent(window->views(), &press);
    EXPECT_TRUE(platform_key_down(VK_KEY_LMENU));
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Alt, Qt::NoModifier, 64, XK_ALT_L, 0);
    QApplication::sendEvent(window->views(), &release);
    EXPECT_FALSE(platform_key_down(VK_KEY_LMENU));
    // A lone Alt tap leaves the next key to the key table.
    QTest::keyClick(window->views(), Qt::Key_Alt);
    QTest::keyClick(window->views(), Qt::Key_Z);
    EXPECT_LT(UndoHistory::instance().currentId(), newest);
    EXPECT_EQ(window->menuBar()->activeAction(), nullptr);

    QApplication::sendEvent(window->views(), &press);
    ASSERT_TRUE(platform_key_down(VK_KEY_LMENU));
    QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(window->views(), &out);
    EXPECT_FALSE(platform_key_down(VK_KEY_LMENU));
}

TEST_F(Window, SplitterDragWithTheMouseMovesTheViews) {
    ASSERT_TRUE(AppState::instance().loadChosenFile(box));
    open();
    GlView* v = window->views();
    int s = AppState::instance().splitterPosition();
    ASSERT_GT(s, 100);
    QTest::mouseMove(v, QPoint(s + 2, 100));
    QTest::mousePress(v, Qt::LeftButton, Qt::NoModifier, QPoint(s + 2, 100));
    EXPECT_EQ(AppState::instance().dragTarget, 3);
    QImage before = v->grabFramebuffer();
    QTest::mouseMove(v, QPoint(5, 100));
    QTest::mouseRelease(v, Qt::LeftButton, Qt::NoModifier, QPoint(5, 100));
    EXPECT_FLOAT_EQ(AppState::instance().splitRatio, 0.1f);
    EXPECT_EQ(AppState::instance().dragTarget, 0);
    if (!app_view_calls().paint)
        GTEST_SKIP() << "views not linked: no frame to compare";
    // The frame follows: the band between 10 % and the old split now belongs to the UV view.
    QImage after = v->grabFramebuffer();
    ASSERT_EQ(before.size(), after.size());
    int changed = 0;
    for (int x = before.width() / 5; x < before.width() * 2 / 5; x += 7)
        for (int y = 10; y < before.height() - 10; y += 7)
            changed += before.pixel(x, y) != after.pixel(x, y);
    EXPECT_GT(changed, 20);
}

TEST_F(Window, AboutOpensFromTheMenuAndFromAltSlash) {
    open();
    QString caption;
    bool picture = false;
    auto close_about = [&](QWidget* w) {
        caption = w->windowTitle();
        auto* label = w->findChild<QLabel*>("aboutPicture");
        picture = label && !label->pixmap().isNull();
        static_cast<QDialog*>(w)->reject();
    };
    when_modal("aboutDialog", close_about);
    window->menuAction(IDM_ABOUT)->trigger();
    EXPECT_EQ(caption, "About Marrowby 1.1");
    EXPECT_TRUE(picture);
    caption.clear();
    // Without a window manager nothing activates the window by itself.
    QApplication::setActiveWindow(window.get());
    when_modal("aboutDialog", close_about);
    QTest::keyClick(window->windowHandle(), Qt::Key_Slash, Qt::AltModifier);
    EXPECT_EQ(caption, "About Marrowby 1.1");
}

TEST_F(Window, FailedLoadShowsTheDialogLeavesTheDocumentEmptyAndSaveWritesNothing) {
    open();
    QStringList filters;
    QString suffix;
    when_modal("loadDialog", [&](QWidget* w) {
        auto* d = static_cast<QFileDialog*>(w);
        filters = d->nameFilters();
        suffix = d->defaultSuffix();
        choose(d, box);
        static_cast<QDialog*>(d)->accept();
    });
    window->menuAction(ID_FILE_LOAD)->trigger();
    EXPECT_EQ(filters, (QStringList{"OBJ Files (*.obj) (*.obj)", "All Files (*.*) (*)"}));
    EXPECT_EQ(suffix, "obj");
    ASSERT_GT(MeshDocument::instance().faceCount, 0);
    std::string before = read_file(box);

    QString caption, text;
    when_modal("loadDialog", [&](QWidget* w) {
        auto* d = static_cast<QFileDialog*>(w);
        choose(d, bad);
        // The failure dialog opens inside accept's caller.
        when_modal("loadFailedDialog", [&](QWidget* f) {
            caption = f->windowTitle();
            text = f->findChild<QLabel*>("loadFailedText")->text();
            QTest::keyClick(f, Qt::Key_Escape);
        });
        static_cast<QDialog*>(d)->accept();
    });
    window->menuAction(ID_FILE_LOAD)->trigger();
    EXPECT_EQ(caption, "Dialog");
    EXPECT_EQ(text.toStdString(), LOAD_FAILED_TEXT);
    EXPECT_EQ(MeshDocument::instance().faceCount, 0);
    EXPECT_EQ(UndoHistory::instance().size(), 0);
    window->menuAction(ID_FILE_SAVE)->trigger();
    EXPECT_EQ(read_file(box), before);
}

TEST_F(Window, SaveAsRefusesANameThatDoesNotExist) {
    ASSERT_TRUE(AppState::instance().loadChosenFile(box));
    open();
    std::string missing = dir + "/new.obj";
    bool warned = false, stillOpen = false;
    when_modal("saveAsDialog", [&](QWidget* w) {
        auto* d = static_cast<QFileDialog*>(w);
        choose(d, missing);
        when_modal("", [&](QWidget* m) {
            warned = qobject_cast<QMessageBox*>(m) != nullptr;
            if (warned)
                static_cast<QMessageBox*>(m)->accept();
            // Back in the file dialog, which stayed open: cancel it.
            QTimer::singleShot(50, d, [&, d] {
                stillOpen = d->isVisible();
                d->reject();
            });
        });
        static_cast<QDialog*>(d)->accept();
    });
    window->menuAction(ID_FILE_SAVEAS)->trigger();
    EXPECT_TRUE(warned);
    EXPECT_TRUE(stillOpen);
    EXPECT_FALSE(std::ifstream(missing).good());
}

TEST_F(Window, UnwrapDoneArrivesOnTheUiThreadAndClosingWritesTheFile) {
    std::string before = read_file(box);
    std::string arg = box + "," + dir + "/none.bin,,,";
    const char* argv[] = {"marrowby", arg.c_str()};
    bool busy = false, finished = false;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(wait_until([] { return MainWindow::current() != nullptr; }));
        MainWindow* w = MainWindow::current();
        EXPECT_FALSE(w->menuAction(ID_FILE_LOAD)->isEnabled());
        w->menuAction(ID_SWITCH_LSCM)->trigger();
        busy = MeshDocument::instance().liveBusy == 1;
        finished = wait_until([] { return MeshDocument::instance().liveBusy == 0; });
        w->close();
    });
    EXPECT_EQ(marrowby_main(2, argv, platform_run_window), 0);
    EXPECT_TRUE(busy);
    EXPECT_TRUE(finished);
    std::string after = read_file(box);
    EXPECT_NE(after, before);
    EXPECT_NE(after.find("MarrowbyOut"), std::string::npos);
    EXPECT_EQ(MeshDocument::instance().faceCount, 0) << "cleaned up at exit";
}

TEST_F(Window, StartedWithAnUnreadableFileLeavesItUnchangedAtExit) {
    std::string before = read_file(bad);
    std::string arg = bad + "," + dir + "/none.bin,,,";
    const char* argv[] = {"marrowby", arg.c_str()};
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(wait_until([] { return MainWindow::current() != nullptr; }));
        EXPECT_EQ(MeshDocument::instance().faceCount, 0);
        MainWindow::current()->menuAction(IDM_EXIT)->trigger();
    });
    EXPECT_EQ(marrowby_main(2, argv, platform_run_window), 0);
    EXPECT_EQ(read_file(bad), before);
}

TEST_F(Window, StartedWithoutAnArgumentWritesNothing) {
    const char* argv[] = {"marrowby"};
    bool enabled = false;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(wait_until([] { return MainWindow::current() != nullptr; }));
        enabled = MainWindow::current()->menuAction(ID_FILE_LOAD)->isEnabled();
        MainWindow::current()->close();
    });
    EXPECT_EQ(marrowby_main(1, argv, platform_run_window), 0);
    EXPECT_TRUE(enabled);
    EXPECT_FALSE(startup_state().startedWithFile);
}

} // namespace
