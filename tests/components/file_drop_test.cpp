#include "NewCtrls.h"

#include <QDropEvent>
#include <QMimeData>
#include <QTableWidget>
#include <QUrl>

#include <memory>
#include <stdexcept>

#include "ErrorBox.h"
#include "qt_environment.h"

namespace tunelo {
namespace {

struct TDrop {
    int32_t Num = 0;
    QStringList Files;
    QPoint Point;
};

class FileDropTest : public ::testing::Test {
protected:
    void SetUp() override {
        FTable = std::make_unique<QTableWidget>(3, 2);
        FTable->resize(300, 200);
        FDrop.SetControl(FTable.get());
        FDrop.OnFileDrop = [this](TFileDrop& sender, int32_t num, const QStringList& files, int32_t x,
                                  int32_t y) {
            EXPECT_EQ(&sender, &FDrop);
            FDrops.push_back({num, files, QPoint(x, y)});
        };
        SetErrorBoxHook([this](const QString& message) { FErrors.append(message); });
    }
    void TearDown() override { SetErrorBoxHook(nullptr); }

    static std::unique_ptr<QMimeData> Files(const QStringList& names) {
        auto data = std::make_unique<QMimeData>();
        QList<QUrl> urls;
        for (const QString& name : names) {
            urls.append(name.startsWith('/') ? QUrl::fromLocalFile(name) : QUrl(name));
        }
        data->setUrls(urls);
        return data;
    }
    // Sends a drag entering and, when it is accepted, the drop, as the desktop would.
    static bool DragAndDrop(QWidget* target, const QMimeData* data, QPoint point,
                            Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction,
                            Qt::DropAction* performed = nullptr,
                            Qt::KeyboardModifiers keys = Qt::NoModifier) {
        QDragEnterEvent enter(point, actions, data, Qt::LeftButton, keys);
        QCoreApplication::sendEvent(target, &enter);
        if (!enter.isAccepted()) {
            return false;
        }
        QDropEvent drop(QPointF(point), actions, data, Qt::LeftButton, keys);
        QCoreApplication::sendEvent(target, &drop);
        if (performed) {
            *performed = drop.dropAction();
        }
        return drop.isAccepted();
    }
    bool WaitForDrops(size_t count) {
        return test::ProcessEventsUntil([&] { return FDrops.size() >= count; });
    }

    TFileDrop FDrop;
    std::unique_ptr<QTableWidget> FTable;
    std::vector<TDrop> FDrops;
    QStringList FErrors;
};

TEST_F(FileDropTest, ThreeFilesGiveOneEventWithTheNamesInTheirOrder) {
    QWidget* viewport = FTable->viewport();
    ASSERT_TRUE(viewport->acceptDrops());
    ASSERT_NE(viewport->pos(), QPoint(0, 0)) << "the headers should offset the cells";

    const auto data = Files({"/music/c.mp3", "/music/a.mp3", "/music/b b.m3u"});
    Qt::DropAction performed = Qt::IgnoreAction;
    // Shift proposes a move; the file manager would then delete the files it thinks were moved.
    ASSERT_TRUE(DragAndDrop(viewport, data.get(), QPoint(10, 20), Qt::CopyAction | Qt::MoveAction, &performed,
                            Qt::ShiftModifier));
    EXPECT_EQ(performed, Qt::CopyAction) << "a drop never moves the files";
    ASSERT_TRUE(WaitForDrops(1));
    test::ProcessEventsFor(50);
    ASSERT_EQ(FDrops.size(), 1u);
    EXPECT_EQ(FDrops[0].Num, 3);
    EXPECT_EQ(FDrops[0].Files, (QStringList{"/music/c.mp3", "/music/a.mp3", "/music/b b.m3u"}));
    EXPECT_EQ(FDrops[0].Point, viewport->pos() + QPoint(10, 20)) << "in the table's own coordinates";
}

TEST_F(FileDropTest, OnlyLocalFilesAreTakenAndOtherDragsPassOn) {
    const auto mixed = Files({"https://example.org/x.mp3", "/music/x.mp3"});
    ASSERT_TRUE(DragAndDrop(FTable->viewport(), mixed.get(), QPoint(5, 5)));
    ASSERT_TRUE(WaitForDrops(1));
    EXPECT_EQ(FDrops[0].Files, QStringList{"/music/x.mp3"});

    // A widget's own drags (text, rows) are none of the drop target's business.
    struct TOwnDrops : QWidget {
        int Drops = 0;
        TOwnDrops() { setAcceptDrops(true); }
        void dragEnterEvent(QDragEnterEvent* event) override { event->acceptProposedAction(); }
        void dropEvent(QDropEvent* event) override {
            ++Drops;
            event->acceptProposedAction();
        }
    } own;
    TFileDrop drop;
    int fired = 0;
    drop.OnFileDrop = [&](TFileDrop&, int32_t, const QStringList&, int32_t, int32_t) { ++fired; };
    drop.SetControl(&own);
    QMimeData text;
    text.setText("row 3");
    EXPECT_TRUE(DragAndDrop(&own, &text, QPoint(1, 1)));
    EXPECT_EQ(own.Drops, 1);
    const auto files = Files({"/music/y.mp3"});
    EXPECT_TRUE(DragAndDrop(&own, files.get(), QPoint(1, 1)));
    EXPECT_EQ(own.Drops, 1) << "the files went to the drop target, not the widget";
    EXPECT_TRUE(test::ProcessEventsUntil([&] { return fired == 1; }));
}

TEST_F(FileDropTest, AnErrorInTheHandlerIsShownAndTheDropStillCompletes) {
    FDrop.OnFileDrop = [](TFileDrop&, int32_t, const QStringList&, int32_t, int32_t) {
        throw std::runtime_error("unknown MPEG Audio format.");
    };
    const auto data = Files({"/music/broken.mp3"});
    Qt::DropAction performed = Qt::IgnoreAction;
    EXPECT_TRUE(DragAndDrop(FTable->viewport(), data.get(), QPoint(3, 3), Qt::CopyAction, &performed));
    EXPECT_EQ(performed, Qt::CopyAction);
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return !FErrors.isEmpty(); }));
    EXPECT_EQ(FErrors, QStringList{"unknown MPEG Audio format."});

    // The target goes on working.
    FDrop.OnFileDrop = [this](TFileDrop&, int32_t num, const QStringList& files, int32_t, int32_t) {
        FDrops.push_back({num, files, {}});
    };
    EXPECT_TRUE(DragAndDrop(FTable->viewport(), data.get(), QPoint(3, 3)));
    EXPECT_TRUE(WaitForDrops(1));
}

TEST_F(FileDropTest, WithoutAcceptDraggedFilesAreRefused) {
    const auto data = Files({"/music/a.mp3"});
    FDrop.SetAccept(false);
    EXPECT_FALSE(FTable->viewport()->acceptDrops());
    QDragEnterEvent enter(QPoint(4, 4), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(FTable->viewport(), &enter);
    EXPECT_FALSE(enter.isAccepted()) << "the no-drop cursor shows";
    QDropEvent drop(QPointF(4, 4), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(FTable->viewport(), &drop);
    test::ProcessEventsFor(50);
    EXPECT_TRUE(FDrops.empty());

    FDrop.SetAccept(true);
    EXPECT_TRUE(DragAndDrop(FTable->viewport(), data.get(), QPoint(4, 4)));
    EXPECT_TRUE(WaitForDrops(1));
}

TEST_F(FileDropTest, ADestroyedControlLeavesTheTargetInert) {
    const auto data = Files({"/music/a.mp3"});
    // A drop already made when the control goes away is not reported either.
    EXPECT_TRUE(DragAndDrop(FTable->viewport(), data.get(), QPoint(4, 4)));
    FTable.reset();
    EXPECT_EQ(FDrop.Control(), nullptr);
    EXPECT_FALSE(FDrop.Accept());
    test::ProcessEventsFor(50);
    EXPECT_TRUE(FDrops.empty());
}

TEST_F(FileDropTest, LettingGoOfAControlGivesItsOwnDropSettingBack) {
    QWidget* viewport = FTable->viewport();
    FDrop.SetControl(nullptr);
    EXPECT_FALSE(viewport->acceptDrops());
    EXPECT_FALSE(FTable->acceptDrops());
    const auto data = Files({"/music/a.mp3"});
    QDropEvent drop(QPointF(4, 4), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &drop);
    test::ProcessEventsFor(50);
    EXPECT_TRUE(FDrops.empty());
}

} // namespace
} // namespace tunelo
