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

#include <QAbstractButton>
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
#include <QWindow>

#include <gtest/gtest.h>

#include <clocale>
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
        drop_modal_steps();
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
    // The views draw once the window is on screen, not while it is being laid out: a large mesh
    // takes seconds to draw in software, and the window would wait for it to appear.
    static void (*drawFrame)() = nullptr;
    static QWidget* shown = nullptr;
    static int frames = 0, framesOffScreen = 0;
    window = std::make_unique<MainWindow>();
    shown = window.get();
    drawFrame = app_view_calls().paint;
    app_view_calls().paint = [] {
        const QWindow* handle = shown->windowHandle();
        framesOffScreen += !handle || !handle->isExposed();
        frames++;
        drawFrame();
    };
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_TRUE(wait_until([] { return frames > 0; }));
    app_view_calls().paint = drawFrame;
    EXPECT_EQ(framesOffScreen, 0);
    window->views()->setFocus();
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
    EXPECT_TRUE(window->menuAction(ID_TEXTURE_CHECKER)->isChecked()) << "the texture that is on";

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
    EXPECT_TRUE(window->menuAction(ID_TEXTURE_STRETCH)->isChecked());
    EXPECT_FALSE(window->menuAction(ID_TEXTURE_CHECKER)->isChecked());
    EXPECT_TRUE(window->menuAction(ID_SWITCH_WIREFRAME)->isChecked());
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

struct SaveAsCase {
    const char* what;
    std::string target;
    QMessageBox::StandardButton answer; // to the question whether to replace; NoButton: none
    bool written;
};

TEST_F(Window, SaveAsCreatesANewFileAndAsksBeforeReplacingOne) {
    ASSERT_TRUE(AppState::instance().loadChosenFile(box));
    open();
    const std::string original = read_file(other);
    const std::vector<SaveAsCase> cases = {
        {"a new name", dir + "/new.obj", QMessageBox::NoButton, true},
        {"an existing file, not replaced", other, QMessageBox::No, false},
        {"an existing file, replaced", other, QMessageBox::Yes, true},
    };
    for (const SaveAsCase& c : cases) {
        SCOPED_TRACE(c.what);
        bool asked = false;
        when_modal("saveAsDialog", [&](QWidget* w) {
            auto* d = static_cast<QFileDialog*>(w);
            choose(d, c.target);
            if (c.answer != QMessageBox::NoButton) {
                when_modal("", [&, d](QWidget* m) {
                    auto* box = qobject_cast<QMessageBox*>(m);
                    asked = box != nullptr;
                    if (!box)
                        return;
                    box->button(c.answer)->click();
                    // Not replaced: back in the file dialog, which stays open; cancel it.
                    if (c.answer == QMessageBox::No)
                        QTimer::singleShot(50, d, [d] { d->reject(); });
                });
            }
            static_cast<QDialog*>(d)->accept();
        });
        window->menuAction(ID_FILE_SAVEAS)->trigger();
        EXPECT_EQ(asked, c.answer != QMessageBox::NoButton);
        std::string text = read_file(c.target);
        if (c.written) {
            EXPECT_EQ(text.rfind("# ####", 0), 0u);
        } else {
            EXPECT_EQ(text, original);
        }
    }
}

TEST_F(Window, ExportUvLayoutWritesThePictureOfTheChosenFormat) {
    ASSERT_TRUE(AppState::instance().loadChosenFile(box));
    open();
    struct Case {
        const char* filter; // null: the dialog's first
        std::string typed, written;
        const char* start;
    };
    const Case cases[] = {
        {nullptr, dir + "/lines.svg", dir + "/lines.svg", "<?xml"},
        {PNG_FILTER_NAME, dir + "/pixels", dir + "/pixels.png", "\x89PNG"},
        {nullptr, dir + "/bare", dir + "/bare.svg", "<?xml"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written);
        when_modal("exportUvDialog", [&](QWidget* w) {
            auto* d = static_cast<QFileDialog*>(w);
            EXPECT_EQ(d->nameFilters(), (QStringList{SVG_FILTER_NAME, PNG_FILTER_NAME}));
            if (c.filter)
                d->selectNameFilter(c.filter);
            choose(d, c.typed);
            static_cast<QDialog*>(d)->accept();
        });
        window->menuAction(ID_FILE_EXPORTUV)->trigger();
        EXPECT_EQ(read_file(c.written).rfind(c.start, 0), 0u);
    }
    EXPECT_EQ(read_file(box), read_file(other)) << "exporting leaves the mesh file alone";
}

TEST_F(Window, LoadReadsNumbersAlikeUnderACommaDecimalLocale) {
    // The toolkit adopts the user's locale; a German one writes 0,5 for one half.
    const std::string before = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
        GTEST_SKIP() << "no de_DE.UTF-8 locale (scripts/install-deps makes it)";
    std::ofstream(other) << "v 0.5 0 0\nv 1.5 0 0\nv 0 1.25 0\nvt 0.5 0.25\nf 1/1 2/1 3/1\n";
    open();
    when_modal("loadDialog", [&](QWidget* w) {
        auto* d = static_cast<QFileDialog*>(w);
        choose(d, other);
        static_cast<QDialog*>(d)->accept();
    });
    window->menuAction(ID_FILE_LOAD)->trigger();
    MeshDocument& doc = MeshDocument::instance();
    ASSERT_EQ(doc.faceCount, 1);
    EXPECT_EQ(doc.uvs[0].u, 0.5f);
    EXPECT_EQ(doc.uvs[0].v, 0.25f);
    EXPECT_EQ(doc.filePositions[2].x, 1.5f);
    window->menuAction(ID_FILE_SAVE)->trigger();
    std::string text = read_file(other);
    std::setlocale(LC_ALL, before.c_str());
    EXPECT_NE(text.find("\nv 1.500000 0.000000 0.000000\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nvt 0.500000 0.250000 0.00\n"), std::string::npos) << text;
}

TEST_F(Window, UnwrapDoneArrivesOnTheUiThreadAndClosingWritesTheFile) {
    std::string before = read_file(box);
    std::string arg = box + "," + std::string(MARROWBY_SOURCE_DIR) + "/examples/box_seams.bin,,,";
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

TEST_F(Window, ClosingWhileAnUnwrapRunsWaitsForItBeforeTheApplicationGoes) {
    // A mesh large enough that its unwrap still runs when the window closes.
    std::string mesh = dir + "/dragon.obj";
    ASSERT_EQ(
        std::system(("cp " + std::string(MARROWBY_MESH_DIR) + "/dragon_res3.obj " + mesh).c_str()),
        0);
    std::string arg = mesh + ",,-lscm,,";
    const char* argv[] = {"marrowby", arg.c_str()};
    bool busyAtClose = false;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(wait_until([] { return MainWindow::current() != nullptr; }));
        MainWindow::current()->menuAction(ID_SWITCH_FILLHOLES)->trigger();
        busyAtClose = MeshDocument::instance().liveBusy == 1;
        MainWindow::current()->close();
    });
    testing::internal::CaptureStderr();
    EXPECT_EQ(marrowby_main(2, argv, platform_run_window), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(busyAtClose);
    // Joined, and its message delivered (and dropped) before the run returned: nothing is
    // left for a later event loop.
    MeshDocument& doc = MeshDocument::instance();
    EXPECT_EQ(doc.liveBusy, 0);
    EXPECT_FALSE(doc.liveThread.joinable());
    EXPECT_EQ(doc.liveStaleMessages, 0);
}

struct StartupCase {
    const char* what;
    std::function<std::string(const std::string& dir)> make; // answers the OBJ path
    std::string seams;                                       // the seam list field
    const char* dialog;                                      // object name of the message
    const char* reason;                                      // expected in the message
};

TEST_F(Window, StartedWithFilesThatCannotBeUsedSaysWhyAndLeavesThemUnchanged) {
    const std::string seams = std::string(MARROWBY_SOURCE_DIR) + "/examples/box_seams.bin";
    const std::vector<StartupCase> cases = {
        {"a corner past the vertices", [&](const std::string&) { return bad; }, seams,
         "loadFailedDialog", "bad.obj:4: vertex index in '7' is outside 1..3"},
        {"random bytes",
         [](const std::string& d) {
             std::ofstream(d + "/noise.obj", std::ios::binary)
                 << std::string("\x12\x9a\0\xff\x03junk", 9);
             return d + "/noise.obj";
         },
         seams, "loadFailedDialog", "not a text file"},
        {"a missing file", [](const std::string& d) { return d + "/missing.obj"; }, seams,
         "loadFailedDialog", "cannot open"},
        {"a folder",
         [](const std::string& d) {
             (void)std::system(("mkdir -p " + d + "/folder.obj").c_str());
             return d + "/folder.obj";
         },
         seams, "loadFailedDialog", "is a folder"},
        {"a seam list that cannot be read", [&](const std::string&) { return box; },
         dir + "/none.bin", "startupProblem", "none.bin: cannot open"},
        {"no faces",
         [](const std::string& d) {
             std::ofstream(d + "/points.obj") << "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
             return d + "/points.obj";
         },
         seams, "startupProblem", "points.obj has no faces"},
    };
    for (const StartupCase& c : cases) {
        SCOPED_TRACE(c.what);
        startup_state() = StartupState{};
        std::string path = c.make(dir);
        bool existed = std::ifstream(path).good();
        std::string before = read_file(path);
        std::string arg = path + "," + c.seams + ",,,";
        const char* argv[] = {"marrowby", arg.c_str()};
        QString shown;
        when_modal(c.dialog, [&](QWidget* w) {
            auto* reason = w->findChild<QLabel*>("loadFailedReason");
            shown = reason ? reason->text() : static_cast<QMessageBox*>(w)->text();
            QTest::keyClick(w, Qt::Key_Escape);
            QTimer::singleShot(0, [] { MainWindow::current()->menuAction(IDM_EXIT)->trigger(); });
        });
        testing::internal::CaptureStderr();
        EXPECT_EQ(marrowby_main(2, argv, platform_run_window), 0);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(shown.toStdString().find(c.reason), std::string::npos) << shown.toStdString();
        EXPECT_NE(err.find(c.reason), std::string::npos) << err;
        if (std::string(c.dialog) == "loadFailedDialog" || std::string(c.what) == "no faces") {
            EXPECT_EQ(read_file(path), before);
            EXPECT_EQ(std::ifstream(path).good(), existed);
        }
    }
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
