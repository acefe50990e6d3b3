// From image files to controller memory: three pictures captured through
// the real capture dialog, a program of four steps, a save, a restart of the
// window over the same folder, and both uploads to the simulator.
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>

#include "host/FrmCut.h"
#include "model/encoders.h"
#include "tests/gui_pages_fixture.h"
#include "tests/support/sim_port.h"

namespace korvex::test {
namespace {

// A 2048-column image whose top row differs in every column; the rows
// below are noise that must not reach the picture.
QString MakeBmp(const QString &path, int seed)
{
    QImage image(2048, 3, QImage::Format_RGB32);
    for (int x = 0; x < 2048; ++x) {
        image.setPixel(x, 0,
                       qRgb((x * 7 + seed) & 0xFF, (x / 8 + seed * 40) & 0xFF, (x * 3) & 0xFF));
        image.setPixel(x, 1, qRgb(255, 255, 255));
        image.setPixel(x, 2, qRgb(0, 0, 0));
    }
    EXPECT_TRUE(image.save(path, "BMP"));
    return path;
}

// The top row as the library stores it: 0x00BBGGRR, low nibbles cleared.
uint32_t StoredColour(const QString &path, int x)
{
    const QRgb c = QImage(path).pixel(x, 0);
    return (uint32_t(qRed(c)) | uint32_t(qGreen(c)) << 8 | uint32_t(qBlue(c)) << 16) & 0xF0F0F0u;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        SetMessageHook(
            [this](QWidget *, const QString &caption, const QString &text, MsgIcon icon) {
                messages.push_back({caption, text, icon});
            });
    }
    void TearDown() override { SetMessageHook(nullptr); }

    // Presses New and works the capture dialog that opens: load `file`,
    // type `name`, Save. Fails (never hangs) if no dialog comes up.
    void CaptureThroughDialog(TFormMain &form, const QString &file, const QString &name)
    {
        bool sawDialog = false, ownerHidden = false;
        std::function<void(int)> poll = [&](int triesLeft) {
            auto *cut = qobject_cast<TFormCut *>(QApplication::activeModalWidget());
            if (!cut) {
                if (triesLeft > 0)
                    QTimer::singleShot(10, [&, triesLeft] { poll(triesLeft - 1); });
                return;
            }
            sawDialog = true;
            ownerHidden = !form.isVisible();
            cut->chooseFile = [file] { return file; };
            cut->BtnLoadClick();
            cut->sPictName->setText(name);
            cut->BtnSaveClick();
            if (cut->isVisible())
                cut->done(2);  // the save was refused: end the test's dialog
        };
        QTimer::singleShot(0, [&] { poll(500); });
        form.BtnNewClick();
        EXPECT_TRUE(sawDialog);
        EXPECT_TRUE(ownerHidden);
        EXPECT_TRUE(form.isVisible());
    }

    QString ExePath() const { return dir.filePath(QStringLiteral("korvex")); }

    QTemporaryDir dir;
    std::vector<ShownMessage> messages;
};

TEST_F(EndToEnd, CapturedLibraryAndProgramReachTheControllerAfterARestart)
{
    const QString files[3] = {MakeBmp(dir.filePath("a.bmp"), 1), MakeBmp(dir.filePath("b.bmp"), 2),
                              MakeBmp(dir.filePath("c.bmp"), 3)};
    {
        auto first = std::make_unique<TFormMain>(ExePath());
        first->show();
        CaptureThroughDialog(*first, files[0], QStringLiteral("红色"));
        CaptureThroughDialog(*first, files[1], QStringLiteral("blue"));
        CaptureThroughDialog(*first, files[2], QStringLiteral("第三"));
        ASSERT_EQ(first->PictList->count(), 3);
        ASSERT_TRUE(messages.empty()) << messages[0].text.toStdString();

        // Four steps: the effect and value chosen after an add apply to the
        // step just added, which is the selected one.
        auto add = [&](int picture, int effect, int value) {
            first->nPictList->setCurrentRow(picture);
            first->nPictListDblClick();
            first->SelAnimation->setCurrentIndex(effect);
            first->SelAnimationChange(first->SelAnimation);
            first->vSpeedStay->setValue(value);  // runs the change handling itself
        };
        add(0, 0, 3);
        add(2, 2, 31);
        add(1, 5, 2);
        add(0, 7, 9);
        ASSERT_EQ(first->nProgList->count(), 4);
        EXPECT_EQ(first->nProgList->item(3)->text(), QStringLiteral("001: 红色 - 收拢"));
        first->BtnSaveProgList->click();
        EXPECT_FALSE(first->BtnSavePict->isEnabled());
    }

    SimPort port;
    ASSERT_TRUE(port.ok());
    auto second = std::make_unique<TFormMain>(ExePath());
    ASSERT_TRUE(second->BtnSendPict->isEnabled());
    EXPECT_EQ(ListItems(second->PictList),
              (std::vector<std::string>{"001: 红色", "002: blue", "003: 第三"}));
    EXPECT_EQ(ListItems(second->nProgList),
              (std::vector<std::string>{"001: 红色 - 显示", "002: 第三 - 左移", "003: blue - 等待",
                                        "004: 红色 - 收拢"}));
    for (int x : {0, 1, 316, 2047})
        EXPECT_EQ(second->doc.Pictures()[1].colours[x], StoredColour(files[1], x)) << x;

    second->BtnSendPict->click();
    second->BtnSendProg->click();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].icon, MsgIcon::None) << messages[0].text.toStdString();
    EXPECT_EQ(messages[1].icon, MsgIcon::None) << messages[1].text.toStdString();

    auto same = [](const std::vector<uint8_t> &memory, const Block1K &expected) {
        return memory.size() == expected.size() &&
               std::equal(memory.begin(), memory.end(), expected.begin());
    };
    for (int p = 0; p < 3; ++p)
        for (int b = 0; b < 4; ++b)
            EXPECT_TRUE(same(port->Block(p, b), EncodePictureBlock(second->doc.Pictures()[p], b)))
                << p << "/" << b;
    EXPECT_TRUE(same(port->Block(127, 0), EncodeNameTable(second->doc.Pictures(), 0)));
    // Name table 1 before bytes 896..1023, which carry the upload's tag.
    const auto table1 = port->Block(127, 1);
    const Block1K names1 = EncodeNameTable(second->doc.Pictures(), 1);
    EXPECT_TRUE(std::equal(names1.begin(), names1.begin() + 896, table1.begin()));
    EXPECT_TRUE(same(port->Block(127, 2), EncodeProgramBlock(second->doc.Program(), 4)));
    EXPECT_EQ(port->ConfigRecord()[16], 3);
}

}  // namespace
}  // namespace korvex::test
