// What the main window's tests share: one QApplication on the offscreen platform with the engine hosted as
// the program hosts it, the null sound device, error boxes recorded instead of shown, scripted dialogs,
// a temporary folder with its own settings file, and small MPEG audio files.
#pragma once

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "Unit4.h"
#include "engine_host.h"
#include "error_box.h"
#include "ini_file.h"
#include "qt_test_app.h"

namespace tunelo::test {

// Every error box of the test program, in order.
inline std::vector<QString>& ErrorBoxes() {
    static std::vector<QString> boxes;
    return boxes;
}

class WindowTestEnvironment : public QtApplicationEnvironment {
protected:
    void BeforeStart() override {
        // No display and no sound card, whatever the caller's environment says; TUNELO_TEST_QPA=xcb runs
        // the same tests on a display (an Xvfb server) instead.
        const QByteArray platform = qgetenv("TUNELO_TEST_QPA");
        qputenv("QT_QPA_PLATFORM", platform.isEmpty() ? QByteArray("offscreen") : platform);
        setenv("TUNELO_AUDIO", "null", 1);
    }
    void Started() override {
        QApplication::setApplicationName(QStringLiteral("TUNELO"));
        InstallEngineHost();
        SetErrorBoxHook([](const QString& message) { ErrorBoxes().push_back(message); });
    }
    void Ending() override {
        SetErrorBoxHook(nullptr);
        RemoveEngineHost();
    }
};

inline ::testing::Environment* const gWindowEnvironment =
    ::testing::AddGlobalTestEnvironment(new WindowTestEnvironment);

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream input(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream output(path, std::ios::binary | std::ios::trunc);
    output << bytes;
}

inline std::filesystem::path TestData(const char* name) {
    return std::filesystem::path(TUNELO_TEST_DATA) / name;
}

// What a scripted dialog was asked.
struct TDialogCall {
    QString Kind; // "OpenFileNames", "OpenFileName", "SaveFileName", "FolderName"
    QString Title;
    QString Start;
    QString Filter;
    QString DefaultSuffix;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FTemp.isValid());
        FFolder = std::filesystem::path(FTemp.path().toStdString());
        FIni = (FFolder / "tunelo.ini").string();
        ErrorBoxes().clear();
    }

    void TearDown() override { Window.reset(); }

    // The window on this test's settings file, its dialogs answered from the queues below.
    TPlatform& MakeWindow() {
        TPlatformOptions options;
        options.IniFileName = FIni;
        options.Dialogs.OpenFileNames = [this](QWidget*, const QString& title, const QString& folder,
                                               const QString& filter) {
            Calls.push_back({QStringLiteral("OpenFileNames"), title, folder, filter, {}});
            return Take(OpenFileNamesAnswers);
        };
        options.Dialogs.OpenFileName = [this](QWidget*, const QString& title, const QString& folder,
                                              const QString& filter) {
            Calls.push_back({QStringLiteral("OpenFileName"), title, folder, filter, {}});
            return Take(FileAnswers);
        };
        options.Dialogs.SaveFileName = [this](QWidget*, const QString& title, const QString& start,
                                              const QString& filter, const QString& suffix, bool) {
            Calls.push_back({QStringLiteral("SaveFileName"), title, start, filter, suffix});
            return Take(FileAnswers);
        };
        options.Dialogs.FolderName = [this](QWidget*, const QString& title, const QString& start) {
            Calls.push_back({QStringLiteral("FolderName"), title, start, {}, {}});
            return Take(FileAnswers);
        };
        options.Dialogs.Message = [this](QWidget*, const QString& text) { Messages.push_back(text); };
        options.Dialogs.Confirm = [this](QWidget*, const QString& text) {
            Questions.push_back(text);
            return ConfirmAnswer;
        };
        Window = std::make_unique<TPlatform>(std::move(options));
        return *Window;
    }

    // A copy of a test data file under the test's folder.
    std::string Copy(const char* dataName, const std::string& relative) const {
        const std::filesystem::path target = FFolder / relative;
        std::filesystem::create_directories(target.parent_path());
        std::filesystem::copy_file(TestData(dataName), target,
                                   std::filesystem::copy_options::overwrite_existing);
        return target.string();
    }

    // An MPEG-1 Layer II stream of about halfSeconds / 2 seconds (the half-second test stream repeated; it
    // has no information frame, so the copies make one longer stream).
    std::string LongStream(const std::string& relative, int halfSeconds) const {
        const std::string once = ReadFile(TestData("l2-mpeg1-44k.mp2"));
        std::string bytes;
        for (int i = 0; i < halfSeconds; ++i) {
            bytes += once;
        }
        const std::filesystem::path target = FFolder / relative;
        WriteFile(target, bytes);
        return target.string();
    }

    // Adds files through the Add dialog.
    void AddThroughDialog(const std::vector<std::string>& files) {
        QStringList names;
        for (const std::string& file : files) {
            names.append(QString::fromStdString(file));
        }
        OpenFileNamesAnswers.push_back(names);
        Window->BitBtn4Click();
    }

    std::vector<std::string> AlbumFiles() const {
        std::vector<std::string> files;
        for (int32_t i = 0; i < Window->Album.MusicCount(); ++i) {
            files.push_back(Window->Album.Entry(i).FileName);
        }
        return files;
    }

    QString Cell(int row, int column) const {
        const QTableWidgetItem* item = Window->MList->item(row - 1, column);
        return item ? item->text() : QString();
    }

    // A point inside grid row `row` (1 = first entry), in the grid viewport's coordinates.
    QPoint RowPoint(int row) const {
        const QRect cell = Window->MList->visualRect(Window->MList->model()->index(row - 1, 0));
        return cell.center();
    }

    std::string PlayingFile() const { return Window->MP3Player1->FileName(); }

    template <typename T> static T Take(std::deque<T>& answers) {
        if (answers.empty()) {
            return T();
        }
        T answer = answers.front();
        answers.pop_front();
        return answer;
    }

    QTemporaryDir FTemp;
    std::filesystem::path FFolder;
    std::string FIni;
    std::unique_ptr<TPlatform> Window;

    std::deque<QStringList> OpenFileNamesAnswers;
    std::deque<QString> FileAnswers;
    bool ConfirmAnswer = true;
    std::vector<TDialogCall> Calls;
    std::vector<QString> Messages;
    std::vector<QString> Questions;
};

} // namespace tunelo::test
