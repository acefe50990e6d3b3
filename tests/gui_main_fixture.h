// The main window over a temporary folder that stands for the executable's
// own, with every message box recorded instead of shown. Tests that need a
// controller start a simulator on port 1 before they open the window.
#pragma once

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QFile>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/FrmMain.h"
#include "host/MessageBox.h"
#include "app/gbk_text.h"
#include "model/config_record.h"
#include "model/library_file.h"
#include "tests/support/safe_ports.h"
#include "tests/support/sim_port.h"

namespace korvex::test {

struct RecordedBox {
    QString caption, text;
    MsgIcon icon = MsgIcon::None;
    QString detail;  // the detailed text, empty when the box has none
};

// A controller record as the controller stores it (16-bit fields big-endian).
inline std::array<uint8_t, 256> ControllerRecord(const char *version, uint8_t flags,
                                                 uint16_t pixels, uint8_t order,
                                                 bool signature = true)
{
    std::array<uint8_t, 256> r{};
    if (signature) {
        r[0] = 'V';
        r[1] = 'e';
        r[2] = 'r';
    }
    r[3] = uint8_t(version[0]);
    r[4] = uint8_t(version[1]);
    r[5] = uint8_t(version[2]);
    r[7] = flags;
    r[8] = uint8_t(pixels >> 8);
    r[9] = uint8_t(pixels);
    r[18] = order;
    return r;
}

inline sim::Options Firmware(const char *version, bool signature = true)
{
    sim::Options o;
    o.firmware = version;
    o.signature = signature;
    return o;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        SetMessageDetailHook([this](const QString &detail) { detail_ = detail; });
        SetMessageHook(
            [this](QWidget *, const QString &caption, const QString &text, MsgIcon icon) {
                boxes.push_back({caption, text, icon, detail_});
                if (onBox)
                    onBox();
            });
        SetQuestionHook([this](QWidget *, const QString &caption, const QString &text) {
            questions.push_back({caption, text, MsgIcon::None, QString()});
            return answerYes;
        });
    }
    void TearDown() override
    {
        form.reset();
        sim.reset();
        SetMessageHook(nullptr);
        SetQuestionHook(nullptr);
        AimPortsNowhere();  // also the ports a test aimed elsewhere
        SetMessageDetailHook(nullptr);
    }

    QString ExePath() const { return dir_.filePath(QStringLiteral("korvex")); }
    QString Sibling(const char *ext) const { return ExePath() + QLatin1String(ext); }

    // A simulated controller on port 1 (KORVEX_COM1 aimed at its pty).
    void StartController(sim::Options options = {})
    {
        sim = std::make_unique<SimPort>(std::move(options), 1);
        ASSERT_TRUE(sim->ok());
    }
    void StartController(const std::array<uint8_t, 256> &record)
    {
        StartController();
        (*sim)->SetConfigRecord(record);
    }

    void Open() { form = std::make_unique<TFormMain>(ExePath()); }

    void WriteFile(const char *ext, const QByteArray &bytes)
    {
        QFile f(Sibling(ext));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    // A library with `names` (UTF-8) as its pictures and `steps` program
    // entries, each naming picture 0.
    static std::unique_ptr<LibraryData> MakeLibrary(const std::vector<std::string> &names,
                                                    int steps = 0)
    {
        auto data = std::make_unique<LibraryData>();
        for (size_t i = 0; i < names.size(); ++i) {
            data->pictures[i].colours[0] = 0x00F0F0F0u - uint32_t(i);
            StoreName(data->pictures[i], Utf8ToGbk(names[i]));
        }
        data->pictureCount = int(names.size());
        for (int i = 0; i < steps; ++i)
            data->program[i] = ProgramEntry{0, uint8_t(i % 6), uint8_t(i % 32)};
        data->programLength = steps;
        return data;
    }
    // The library file beside the executable.
    void WriteLibrary(const LibraryData &data)
    {
        std::string error;
        ASSERT_TRUE(SaveLibraryFile(Sibling(".Dat").toStdString(), data, error)) << error;
    }
    void WriteLibrary(const std::vector<std::string> &names, int steps = 0)
    {
        WriteLibrary(*MakeLibrary(names, steps));
    }

    // The restart command awaits no reply: the simulator may still be
    // reading it when the handler returns. Waits (bounded) until it has
    // counted `n` frames of `command`, and returns the count. A restart that
    // never arrives although the box reported success means the port's
    // close threw away bytes the peer had not read yet (an output flush on
    // a pty drops them).
    int CountSoon(char command, int n, int ms = 2000)
    {
        QElapsedTimer t;
        t.start();
        while ((*sim)->CountOf(command) < n && t.elapsed() < ms)
            QThread::msleep(5);
        return (*sim)->CountOf(command);
    }

    QColor PanelColour() const { return form->Panel1->palette().color(QPalette::Window); }

    std::vector<QString> Effects() const
    {
        std::vector<QString> out;
        for (int i = 0; i < form->SelAnimation->count(); ++i)
            out.push_back(form->SelAnimation->itemText(i));
        return out;
    }

    // Picks port `index` in the list as the operator does.
    void PickPort(int index)
    {
        form->nComPort->setCurrentIndex(index);
        emit form->nComPort->activated(index);
    }

    std::unique_ptr<SimPort> sim;
    std::unique_ptr<TFormMain> form;
    std::vector<RecordedBox> boxes;
    std::function<void()> onBox;         // runs inside the box, before it "closes"
    std::vector<RecordedBox> questions;  // Yes/No questions asked (caption, text)
    bool answerYes = false;              // the answer each of them gets

private:
    QTemporaryDir dir_;
    QString detail_;  // told just before the box itself
};

inline const std::vector<QString> kEightEffects = {
    QStringLiteral("显示"), QStringLiteral("渐显"), QStringLiteral("左移"), QStringLiteral("右移"),
    QStringLiteral("渐隐"), QStringLiteral("等待"), QStringLiteral("展开"), QStringLiteral("收拢")};

inline const QColor kGreen(0, 128, 0);
inline const QColor kRed(255, 0, 0);

}  // namespace korvex::test
