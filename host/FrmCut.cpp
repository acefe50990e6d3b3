#include "host/FrmCut.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSpinBox>
#include <algorithm>

#include "host/MessageBox.h"
#include "host/name_edit.h"
#include "host/open_picture_filter.h"
#include "app/gbk_text.h"
#include "app/image_load.h"
#include "model/library.h"

namespace korvex {

namespace {

const QString kCaption = QStringLiteral("截取图形");
const QString kPad = QStringLiteral("        ");  // eight blanks each side of a message

void Paint(QWidget *w, const QColor &colour)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Window, colour);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

}  // namespace

// ------------------------------------------------------------- PictView

PictView::PictView(const CaptureModel *model, QWidget *parent) : QLabel(parent), model_(model)
{
    setObjectName(QStringLiteral("Pict"));
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void PictView::paintEvent(QPaintEvent *event)
{
    QPoint at;
    const QImage part = model_->RenderPict(event->rect(), &at);
    if (part.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(at, part);
}

// ------------------------------------------------------------- TFormCut

TFormCut::TFormCut(QWidget *owner) : QDialog(owner)
{
    // FormCreate: the working picture starts empty (the model's), the
    // controls as below.
    setObjectName(QStringLiteral("FormCut"));
    setWindowTitle(kCaption);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(473, 123);
    constexpr int kStrip = 34;

    PictPanel = new QFrame(this);
    PictPanel->setObjectName(QStringLiteral("PictPanel"));
    PictPanel->setFrameShape(QFrame::NoFrame);
    PictPanel->setGeometry(0, 0, width(), height() - kStrip);
    Paint(PictPanel, Qt::black);

    Box = new QScrollArea(PictPanel);
    Box->setObjectName(QStringLiteral("Box"));
    Box->setFrameShape(QFrame::NoFrame);
    Box->setGeometry(PictPanel->rect());
    Box->setWidgetResizable(false);
    Box->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Paint(Box->viewport(), QColor(0x80, 0x80, 0x80));

    canvas_ = new QWidget;
    canvas_->setObjectName(QStringLiteral("BoxCanvas"));
    Pict = new PictView(&model_, canvas_);
    Pict->setGeometry(0, 0, kPictStartWidth, kPictStartHeight);
    Pict->setScaledContents(false);
    Box->setWidget(canvas_);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::NoFrame);
    Panel1->setGeometry(0, height() - kStrip, width(), kStrip);

    BtnLoad = new QPushButton(QStringLiteral("装入图片"), Panel1);
    BtnLoad->setObjectName(QStringLiteral("BtnLoad"));
    BtnLoad->setGeometry(6, 5, 70, 24);
    BtnLoad->setAutoDefault(false);
    connect(BtnLoad, &QPushButton::clicked, this, &TFormCut::BtnLoadClick);

    bStretch = new QCheckBox(QStringLiteral("缩放"), Panel1);
    bStretch->setObjectName(QStringLiteral("bStretch"));
    bStretch->setGeometry(82, 8, 52, 18);
    bStretch->setChecked(false);
    connect(bStretch, &QCheckBox::toggled, this, &TFormCut::bStretchClick);

    Label2 = new QLabel(QStringLiteral("图形宽度"), Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(136, 9, 52, 16);

    vWidth = new QSpinBox(Panel1);
    vWidth->setObjectName(QStringLiteral("vWidth"));
    vWidth->setGeometry(190, 6, 62, 22);
    vWidth->setRange(kCaptureWidthMin, kCaptureWidthMax);
    vWidth->setSingleStep(kCaptureWidthStep);
    vWidth->setValue(kCaptureWidthStart);
    // Arrows only: the text cannot be typed into, the buttons and arrow
    // keys still step (a read-only spin box would refuse those too).
    if (auto *edit = vWidth->findChild<QLineEdit *>())
        edit->setReadOnly(true);
    connect(vWidth, qOverload<int>(&QSpinBox::valueChanged), this, &TFormCut::vWidthChange);

    Label1 = new QLabel(QStringLiteral("命名"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(262, 9, 28, 16);

    sPictName = new QLineEdit(Panel1);
    sPictName->setObjectName(QStringLiteral("sPictName"));
    sPictName->setGeometry(292, 6, 104, 22);
    LimitToPictureName(sPictName);

    BtnSave = new QPushButton(QStringLiteral("保    存"), Panel1);
    BtnSave->setObjectName(QStringLiteral("BtnSave"));
    BtnSave->setGeometry(402, 5, 65, 24);
    BtnSave->setAutoDefault(false);
    connect(BtnSave, &QPushButton::clicked, this, &TFormCut::BtnSaveClick);

    model_.SetBoxClientSize(Box->maximumViewportSize());
    ShowModel();
}

// FormDestroy: the pictures go with the model.
TFormCut::~TFormCut() = default;

void TFormCut::showEvent(QShowEvent *event)
{
    if (!event->spontaneous()) {
        if (QWidget *owner = parentWidget()) {
            const QRect over = owner->window()->geometry();
            move(over.center() - QPoint(width() / 2, height() / 2));
        }
        FormShow();
    }
    QDialog::showEvent(event);
}

void TFormCut::reject()
{
    done(2);
}

void TFormCut::FormShow()
{
    // Typed names hold at most 15 GBK bytes; a longer stored one is shown
    // cut so that it can be edited within the limit.
    const QString shown =
        QString::fromStdString(TruncateToGbkBytes(name.toStdString(), kNameTyped));
    sPictName->setText(shown);
}

void TFormCut::BtnLoadClick()
{
    const QString path = chooseFile ? chooseFile() : RunDlgOpen();
    if (path.isEmpty())
        return;  // cancelled: nothing changes
    const LoadedImage loaded = LoadImageFile(path);
    model_.Load(loaded.image);
    ShowModel();
    if (!loaded.notice.isEmpty())
        Notice(loaded.notice);
}

void TFormCut::vWidthChange()
{
    model_.SetWidthField(vWidth->value());
    ShowModel();
}

void TFormCut::bStretchClick()
{
    model_.SetStretch(bStretch->isChecked());
    ShowModel();
}

void TFormCut::BtnSaveClick()
{
    if (sPictName->text().isEmpty()) {
        ShowMessage(this, kCaption, kPad + QStringLiteral("请给图形命名!") + kPad, MsgIcon::Error);
        return;
    }
    CaptureColours sampled;
    if (!model_.Sample(sampled)) {
        // No picture (nothing loaded, or a file that gave none): there is no
        // row to sample.
        ShowMessage(this, kCaption, kPad + QStringLiteral("请先装入图片!") + kPad, MsgIcon::Error);
        return;
    }
    name = sPictName->text();
    colours = sampled;
    done(1);
}

void TFormCut::ShowModel()
{
    const QRect r = model_.PictRect();
    // The centring puts a picture taller than the box above its top edge;
    // it is shown from its first row instead, the row that is sampled.
    const int top = std::max(0, r.top());
    Pict->setScaledContents(model_.Stretch());
    Pict->setGeometry(r.left(), top, r.width(), r.height());
    const QSize view = Box->maximumViewportSize();
    canvas_->resize(std::max(view.width(), r.left() + r.width()),
                    std::max(view.height(), top + r.height()));
    if (vWidth->value() != model_.WidthField()) {
        const QSignalBlocker quiet(vWidth);
        vWidth->setValue(model_.WidthField());
    }
    if (bStretch->isChecked() != model_.Stretch()) {
        const QSignalBlocker quiet(bStretch);
        bStretch->setChecked(model_.Stretch());
    }
    Pict->update();
}

void TFormCut::Notice(const QString &text)
{
    ShowMessage(this, kCaption, kPad + text + kPad, MsgIcon::Error);
}

QString TFormCut::RunDlgOpen()
{
    QFileDialog DlgOpen(this, QStringLiteral("打开"));
    DlgOpen.setObjectName(QStringLiteral("DlgOpen"));
    DlgOpen.setOption(QFileDialog::DontUseNativeDialog, true);
    DlgOpen.setAcceptMode(QFileDialog::AcceptOpen);
    DlgOpen.setFileMode(QFileDialog::ExistingFile);
    DlgOpen.setNameFilters(QtNameFilters(QString::fromLatin1(kOpenPictureFilter)));
    // No places bar.
    if (auto *sidebar = DlgOpen.findChild<QWidget *>(QStringLiteral("sidebar")))
        sidebar->hide();

    auto *preview = new QLabel(&DlgOpen);
    preview->setObjectName(QStringLiteral("Preview"));
    preview->setFixedSize(180, 180);
    preview->setAlignment(Qt::AlignCenter);
    preview->setFrameShape(QFrame::StyledPanel);
    if (auto *grid = qobject_cast<QGridLayout *>(DlgOpen.layout()))
        grid->addWidget(preview, 1, grid->columnCount(), 1, 1);
    connect(&DlgOpen, &QFileDialog::currentChanged, preview, [preview](const QString &path) {
        const QImage small = LoadPreview(path, preview->contentsRect().size());
        preview->setPixmap(small.isNull() ? QPixmap() : QPixmap::fromImage(small));
    });

    if (DlgOpen.exec() != QDialog::Accepted)
        return {};
    return DlgOpen.selectedFiles().value(0);
}

}  // namespace korvex
