// Every window on the screen it is run with (QT_QPA_PLATFORM's offscreen configuration and
// QT_SCALE_FACTOR, set by CTest: 1366x768 at 1.25 and 1920x1080 at 2): its frame fits the free
// area, and its key buttons can be reached (scrolled to when the window scrolls).
#include <QAbstractButton>
#include <QApplication>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <functional>
#include <memory>
#include <ostream>

#include <gtest/gtest.h>

#include "app/formp3.h"
#include "app/frmAbout.h"
#include "app/frmWriteWave.h"
#include "cd/frmDemo.h"
#include "engine/engine_ext.h"
#include "mp3/Form1.h"
#include "normaliser/Form11.h"
#include "platform/scripted_platform.h"
#include "platform/settings.h"
#include "tests/support/audio_fixtures.h"

namespace {

struct Case {
    const char* window;
    std::function<std::unique_ptr<QWidget>()> make;
    std::vector<const char*> keyButtons;  // object names
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.window;
}

// The whole of `button` inside its window once any scroll area holding it has scrolled to it.
bool reachable(QWidget* window, QWidget* button) {
    for (QWidget* up = button->parentWidget(); up && up != window; up = up->parentWidget())
        if (auto* scroll = qobject_cast<QScrollArea*>(up))
            scroll->ensureWidgetVisible(button, 0, 0);
    QApplication::processEvents();
    const QRect at(button->mapTo(window, QPoint(0, 0)), button->size());
    return button->isVisible() && window->rect().contains(at);
}

}  // namespace

class Screens : public ::testing::TestWithParam<Case> {
  protected:
    void SetUp() override {
        engine::setOutputKind(engine::OutputKind::NullManual);
        auto scripted = std::make_unique<platform::ScriptedPlatform>();
        scripted->folder = dir.path().string();
        previous = platform::Platform::install(std::move(scripted));
        platform::useSettingsFile((dir.path() / "settings.ini").string());
    }
    void TearDown() override {
        platform::Platform::install(std::move(previous));
        platform::useSettingsFile("");
    }
    fixtures::TempDir dir;
    std::unique_ptr<platform::Platform> previous;
};

TEST_P(Screens, WindowFitsAndKeyButtonsCanBeReached) {
    const Case& c = GetParam();
    std::unique_ptr<QWidget> window = c.make();
    window->show();
    QApplication::processEvents();
    const QRect free = window->screen()->availableGeometry();
    EXPECT_LE(window->frameGeometry().width(), free.width()) << c.window;
    EXPECT_LE(window->frameGeometry().height(), free.height()) << c.window;
    // A window that scrolls takes the room it needs: a scroll bar only where the screen is short.
    if (auto* scroll = window->findChild<QScrollArea*>("scrollContent")) {
        if (scroll->horizontalScrollBar()->isVisible()) {
            EXPECT_GE(window->frameGeometry().width(), free.width() - 16) << c.window;
        }
        if (scroll->verticalScrollBar()->isVisible()) {
            EXPECT_GE(window->frameGeometry().height(), free.height() - 48) << c.window;
        }
    }
    for (const char* name : c.keyButtons) {
        auto* button = window->findChild<QWidget*>(name);
        ASSERT_NE(button, nullptr) << name;
        EXPECT_TRUE(reachable(window.get(), button)) << c.window << ": " << name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Windows, Screens,
    ::testing::Values(
        Case{"main",
             [] {
                 auto w = std::make_unique<app::frmWriteWave>();
                 w->Form_Load();
                 return std::unique_ptr<QWidget>(std::move(w));
             },
             {"btnLoadFile", "CEq", "chkEqualizer", "sldEQ_6", "btnConvert"}},
        Case{"cd",
             [] { return std::unique_ptr<QWidget>(std::make_unique<cd::frmDemo>()); },
             {"cmdExtractAll", "cmdButton_0"}},
        Case{"wav to mp3",
             [] { return std::unique_ptr<QWidget>(std::make_unique<mp3::Form1>()); },
             {}},
        Case{"normaliser",
             [] { return std::unique_ptr<QWidget>(std::make_unique<normaliser::Form11>()); },
             {}},
        Case{"help", [] { return std::unique_ptr<QWidget>(std::make_unique<app::formp3>()); }, {}},
        Case{"about",
             [] { return std::unique_ptr<QWidget>(std::make_unique<app::frmAbout>()); },
             {}}),
    [](const auto& info) {
        std::string name = info.param.window;
        for (char& ch : name)
            if (ch == ' ') ch = '_';
        return name;
    });
