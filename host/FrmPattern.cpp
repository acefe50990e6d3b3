#include "host/FrmPattern.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "app/picture_strip.h"
#include "host/MessageBox.h"
#include "host/name_edit.h"

namespace korvex {

namespace {

const QString kCaption = QStringLiteral("生成图形");
const QString kPad = QStringLiteral("        ");  // eight blanks each side of a message
constexpr int kPreviewWidth = 512;
constexpr int kPreviewHeight = 20;

// In the order of PatternKind.
const char *const kKindTexts[kPatternKinds] = {"纯色", "渐变", "彩虹", "条纹", "流星", "间隔点"};

QColor ToQColor(const Rgb &c)
{
    return QColor(c.r, c.g, c.b);
}

// A caption and a spin box in a box of their own, so that both hide at once.
QWidget *Field(const QString &caption, QSpinBox *&spin, PatternParam param)
{
    auto *box = new QWidget;
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel(caption));
    spin = new QSpinBox;
    const PatternRange range = RangeOf(param);
    spin->setRange(range.lo, range.hi);
    spin->setFixedWidth(64);
    row->addWidget(spin);
    return box;
}

}  // namespace

TFormPattern::TFormPattern(QWidget *owner, int pixels) : QDialog(owner)
{
    setObjectName(QStringLiteral("FormPattern"));
    setWindowTitle(kCaption);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);

    Pict = new QLabel;
    Pict->setObjectName(QStringLiteral("Pict"));
    Pict->setFixedSize(kPreviewWidth, kPreviewHeight);
    layout->addWidget(Pict);

    auto *kindRow = new QHBoxLayout;
    kindRow->addWidget(new QLabel(QStringLiteral("图形")));
    SelKind = new QComboBox;
    for (const char *text : kKindTexts)
        SelKind->addItem(QString::fromUtf8(text));
    kindRow->addWidget(SelKind);
    kindRow->addSpacing(12);
    ColoursBox = Field(QStringLiteral("颜色数"), vColours, PatternParam::Colours);
    vColours->setFixedWidth(44);
    vColours->setValue(2);
    kindRow->addWidget(ColoursBox);
    const std::vector<Rgb> &palette = PatternPalette();
    for (int i = 0; i < kColourButtons; ++i) {
        picked_[size_t(i)] = ToQColor(palette[size_t(i)]);
        auto *button = new QPushButton;
        button->setAutoDefault(false);
        button->setFixedSize(24, 22);
        button->setToolTip(QStringLiteral("颜色 %1").arg(i + 1));
        connect(button, &QPushButton::clicked, this, [this, i] { BtnColourClick(i); });
        kindRow->addWidget(button);
        BtnColour[size_t(i)] = button;
    }
    kindRow->addStretch();
    layout->addLayout(kindRow);

    auto *numberRow = new QHBoxLayout;
    PixelsBox = Field(QStringLiteral("点数"), vPixels, PatternParam::Pixels);
    RepeatBox = Field(QStringLiteral("重复"), vRepeat, PatternParam::Repeat);
    WidthBox = Field(QStringLiteral("宽度"), vWidth, PatternParam::Width);
    LengthBox = Field(QStringLiteral("长度"), vLength, PatternParam::Length);
    for (QWidget *box : {PixelsBox, RepeatBox, WidthBox, LengthBox})
        numberRow->addWidget(box);
    numberRow->addStretch();
    layout->addLayout(numberRow);
    const PatternDescription start = DefaultPattern(PatternKind::Solid);
    vPixels->setValue(pixels);  // the spin box keeps it within the range
    vRepeat->setValue(start.repeat);
    vWidth->setValue(start.width);
    vLength->setValue(start.length);

    auto *checkRow = new QHBoxLayout;
    ChkReverse = new QCheckBox(QStringLiteral("反向"));
    ChkDither = new QCheckBox(QStringLiteral("抖动"));
    checkRow->addWidget(ChkReverse);
    checkRow->addWidget(ChkDither);
    checkRow->addStretch();
    layout->addLayout(checkRow);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(QStringLiteral("命名")));
    sPictName = new QLineEdit;
    sPictName->setFixedWidth(120);
    bottom->addWidget(sPictName);
    bottom->addStretch();
    BtnSave = new QPushButton(QStringLiteral("保  存"));
    BtnCancel = new QPushButton(QStringLiteral("取  消"));
    for (QPushButton *button : {BtnSave, BtnCancel}) {
        button->setAutoDefault(false);
        bottom->addWidget(button);
    }
    layout->addLayout(bottom);
    setFixedSize(kPreviewWidth + 20, sizeHint().height());

    connect(SelKind, &QComboBox::currentIndexChanged, this, [this](int) { SelKindChange(); });
    for (QSpinBox *spin : {vColours, vPixels, vRepeat, vWidth, vLength}) {
        connect(spin, &QSpinBox::valueChanged, this, [this](int) {
            ShowKind();
            Generate();
        });
    }
    for (QCheckBox *box : {ChkReverse, ChkDither})
        connect(box, &QCheckBox::toggled, this, [this](bool) { Generate(); });
    LimitToPictureName(sPictName);
    connect(BtnSave, &QPushButton::clicked, this, &TFormPattern::BtnSaveClick);
    connect(BtnCancel, &QPushButton::clicked, this, &TFormPattern::reject);

    SelKindChange();
}

TFormPattern::~TFormPattern() = default;

PatternDescription TFormPattern::Described() const
{
    PatternDescription pattern;
    pattern.kind = static_cast<PatternKind>(SelKind->currentIndex());
    const int room = PatternColourSlots(pattern.kind);
    const int used = room > 1 ? vColours->value() : room;
    for (int i = 0; i < used; ++i) {
        const QColor &c = picked_[size_t(i)];
        pattern.colours.push_back(Rgb{static_cast<uint8_t>(c.red()),
                                      static_cast<uint8_t>(c.green()),
                                      static_cast<uint8_t>(c.blue())});
    }
    pattern.pixels = vPixels->value();
    pattern.repeat = vRepeat->value();
    pattern.width = vWidth->value();
    pattern.length = vLength->value();
    pattern.reverse = ChkReverse->isChecked();
    pattern.dither = ChkDither->isChecked();
    return pattern;
}

void TFormPattern::SelKindChange()
{
    const auto kind = static_cast<PatternKind>(SelKind->currentIndex());
    if (PatternUses(kind, PatternParam::Width)) {
        // Stripes and dots start at their own width.
        const QSignalBlocker quiet(vWidth);
        vWidth->setValue(DefaultPattern(kind).width);
    }
    // A name the operator has not given follows the kind.
    const QString current = sPictName->text();
    if (current.isEmpty() ||
        std::any_of(std::begin(kKindTexts), std::end(kKindTexts),
                    [&](const char *t) { return current == QString::fromUtf8(t); }))
        sPictName->setText(SelKind->currentText());
    ShowKind();
    Generate();
}

void TFormPattern::ShowKind()
{
    const auto kind = static_cast<PatternKind>(SelKind->currentIndex());
    const int room = PatternColourSlots(kind);
    ColoursBox->setVisible(room > 1);
    const int shown = room > 1 ? vColours->value() : room;
    for (int i = 0; i < kColourButtons; ++i) {
        QPushButton *button = BtnColour[size_t(i)];
        button->setVisible(i < shown);
        button->setStyleSheet(QStringLiteral("background-color: %1; border: 1px solid gray")
                                  .arg(picked_[size_t(i)].name()));
    }
    RepeatBox->setVisible(PatternUses(kind, PatternParam::Repeat));
    WidthBox->setVisible(PatternUses(kind, PatternParam::Width));
    WidthBox->findChild<QLabel *>()->setText(kind == PatternKind::Dots ? QStringLiteral("间隔")
                                                                       : QStringLiteral("宽度"));
    LengthBox->setVisible(PatternUses(kind, PatternParam::Length));
    ChkDither->setEnabled(PatternDithers(kind));
}

void TFormPattern::Generate()
{
    colours = MakePattern(Described());
    Pict->setPixmap(QPixmap::fromImage(PictureRow(colours, kPreviewWidth, kPreviewHeight)));
}

void TFormPattern::BtnColourClick(int i)
{
    const QColor current = picked_[size_t(i)];
    const QColor chosen =
        chooseColour ? chooseColour(current) : QColorDialog::getColor(current, this, kCaption);
    if (!chosen.isValid())
        return;  // cancelled: nothing changes
    picked_[size_t(i)] = chosen;
    ShowKind();
    Generate();
}

void TFormPattern::BtnSaveClick()
{
    if (sPictName->text().isEmpty()) {
        ShowMessage(this, kCaption, kPad + QStringLiteral("请给图形命名!") + kPad, MsgIcon::Error);
        return;
    }
    name = sPictName->text();
    done(1);
}

void TFormPattern::reject()
{
    done(2);
}

}  // namespace korvex
