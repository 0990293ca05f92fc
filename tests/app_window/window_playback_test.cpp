// A whole album played by the window on the null sound device, from the first track to the last, moved on
// by the player's own end-of-track events, with its position reports moving the position bar.
#include <QSignalSpy>

#include <map>

#include "window_test_support.h"

namespace tunelo::test {
namespace {

class PlaybackTest : public WindowTest {};

TEST_F(PlaybackTest, AWholeAlbumPlaysFirstToLastWithThePositionBarMoving) {
    MakeWindow();
    const std::vector<std::string> files = {LongStream("album/one.mp3", 3), LongStream("album/two.mp3", 3),
                                            LongStream("album/three.mp3", 3)};
    AddThroughDialog(files);
    QSignalSpy seeks(Window.get(), &TPlatform::SeekRequested);

    // For each file the highest bar position seen while it was the open file.
    std::vector<std::string> order;
    std::map<std::string, int> highest;
    QObject::connect(Window->PLAYPOS, &QScrollBar::valueChanged, [&](int value) {
        const std::string file = PlayingFile();
        highest[file] = std::max(highest[file], value);
    });
    const auto watch = [&] {
        const std::string file = PlayingFile();
        if (!file.empty() && (order.empty() || order.back() != file)) {
            order.push_back(file);
        }
    };

    Window->SelectRow(1);
    Window->MListDblClick();
    ASSERT_EQ(Window->MP3Player1->Status(), mpsPlaying);
    watch();
    const bool ended = ProcessEventsUntil(
        [&] {
            watch();
            return order.size() == 3 && Window->MP3Player1->Status() == mpsStopped;
        },
        20000);
    ASSERT_TRUE(ended) << "tracks seen: " << order.size();
    ProcessEventsFor(200);

    EXPECT_EQ(order, files);
    EXPECT_EQ(Window->MP3Player1->Status(), mpsStopped) << "the end of the last track stops";
    EXPECT_EQ(Window->SelectedRow(), 3);
    for (const std::string& file : files) {
        EXPECT_GE(highest[file], 400) << file << ": the position reports moved the bar";
    }
    EXPECT_EQ(seeks.count(), 0);
}

} // namespace
} // namespace tunelo::test
