// The window's sound output menu against a private PulseAudio daemon: it lists the server's sinks, a
// choice reaches the wave device and the settings file, and a new window starts with the stored choice.
#include <QAction>

#include "../platform/pulse_test_server.h"
#include "output_device_menu.h"
#include "wave_device.h"
#include "window_test_support.h"

namespace tunelo::test {
namespace {

class OutputDeviceMenuTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        const std::string failure = FServer.Start();
        if (!failure.empty()) {
            GTEST_SKIP() << "no private PulseAudio daemon: " << failure;
        }
    }
    void TearDown() override {
        WindowTest::TearDown();
        SetWaveOutputChoice({});
        unsetenv("PULSE_SERVER");
    }

    TOutputDeviceMenu& Menu() {
        auto* menu = Window->findChild<TOutputDeviceMenu*>();
        EXPECT_NE(menu, nullptr);
        return *menu;
    }

    static std::vector<QAction*> Entries(TOutputDeviceMenu& menu) {
        std::vector<QAction*> entries;
        for (QAction* action : menu.actions()) {
            if (!action->isSeparator()) {
                entries.push_back(action);
            }
        }
        return entries;
    }

    pulsetest::TPulseTestServer FServer;
};

TEST_F(OutputDeviceMenuTest, ListsTheSinksAndKeepsTheChoice) {
    MakeWindow();
    EXPECT_EQ(Menu().title(), QStringLiteral("Sound output"));
    EXPECT_TRUE(Window->PopupMenu1->actions().contains(Menu().menuAction()));
    Menu().Refresh();
    std::vector<QAction*> entries = Entries(Menu());
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0]->text(), QStringLiteral("Automatic"));
    EXPECT_TRUE(entries[0]->isChecked());
    EXPECT_EQ(entries[1]->data().toString(), QStringLiteral("pulse:tunelo_test"));
    EXPECT_FALSE(entries[1]->isChecked());

    entries[1]->trigger();
    EXPECT_EQ(WaveOutputChoice(), "pulse:tunelo_test");
    EXPECT_EQ(TMPIniFile(FIni).ReadString("Options", "OutputDevice", ""), "pulse:tunelo_test");

    // The next start brings the choice back, and the menu shows it; a sink that went away stays listed.
    Window.reset();
    SetWaveOutputChoice({});
    TMPIniFile(FIni).WriteString("Options", "OutputDevice", "pulse:unplugged");
    MakeWindow();
    EXPECT_EQ(WaveOutputChoice(), "pulse:unplugged");
    Menu().Refresh();
    entries = Entries(Menu());
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_TRUE(entries[2]->isChecked());
    EXPECT_TRUE(entries[2]->text().contains(QStringLiteral("not available")));
    entries[0]->trigger();
    EXPECT_EQ(WaveOutputChoice(), "");
    EXPECT_EQ(TMPIniFile(FIni).ReadString("Options", "OutputDevice", "x"), "");

    // A second output of the same kind carries the same description: the entries name the outputs too.
    ASSERT_EQ(FServer.Pactl({"load-module", "module-null-sink", "sink_name=tunelo_twin"}), 0);
    Menu().Refresh();
    QStringList captions;
    for (QAction* entry : Entries(Menu())) {
        captions.append(entry->text());
    }
    EXPECT_EQ(captions.size(), 3) << captions.join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(captions.filter(QStringLiteral("(pulse:tunelo_test)")).size(), 1);
    EXPECT_EQ(captions.filter(QStringLiteral("(pulse:tunelo_twin)")).size(), 1);
}

} // namespace
} // namespace tunelo::test
