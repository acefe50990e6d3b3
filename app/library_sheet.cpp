// Drawing the library sheet.
#include "app/library_sheet.h"

#include <QFontMetrics>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <vector>

#include "app/picture_strip.h"
#include "app/program_font.h"

namespace korvex {

namespace {

constexpr int kFontPixels = 14;  // CJK glyphs stay sharp and readable at 100 %
constexpr int kStripHeight = 10;
constexpr int kMargin = 10;
constexpr int kGap = 16;  // between the label column and the strips

struct SheetLine {
    QString text;
    int picture = -1;  // whose strip follows the text; -1 for a heading
};

std::vector<SheetLine> Lines(const LibraryDocument &doc)
{
    std::vector<SheetLine> lines;
    lines.push_back({QStringLiteral("pictures: %1").arg(doc.PictureCount())});
    for (int i = 0; i < doc.PictureCount(); ++i)
        lines.push_back({QString::fromStdString(doc.PictureLabel(i)), i});
    lines.push_back({QStringLiteral("program steps: %1").arg(doc.ProgramLength())});
    for (int s = 0; s < doc.ProgramLength(); ++s) {
        const ProgramEntry &e = doc.Program()[static_cast<size_t>(s)];
        lines.push_back(
            {QString::fromStdString(doc.StepLabel(s)) + QStringLiteral(" (value %1)").arg(e.value),
             e.picture});
    }
    return lines;
}

}  // namespace

QImage LibrarySheet(const LibraryDocument &doc, int pixels)
{
    pixels = std::clamp(pixels, 1, kColours);
    const QFont font = ProgramFont(kFontPixels);
    const QFontMetrics metrics(font);
    const std::vector<SheetLine> lines = Lines(doc);

    // The labels form a column as wide as the widest; a heading may run
    // across the strips' column.
    QFont headingFont = font;
    headingFont.setBold(true);
    const QFontMetrics headingMetrics(headingFont);
    int labelWidth = 0, headingWidth = 0;
    for (const SheetLine &line : lines) {
        if (line.picture >= 0)
            labelWidth = std::max(labelWidth, metrics.horizontalAdvance(line.text));
        else
            headingWidth = std::max(headingWidth, headingMetrics.horizontalAdvance(line.text));
    }
    const int lineHeight = std::max(metrics.height(), kStripHeight + 2) + 6;
    const int stripX = kMargin + labelWidth + kGap;
    const int width = std::max(stripX + pixels, kMargin + headingWidth) + kMargin;
    const int height = 2 * kMargin + lineHeight * static_cast<int>(lines.size());

    QImage sheet(width, height, QImage::Format_RGB32);
    if (sheet.isNull())
        return sheet;
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    painter.setPen(Qt::black);
    int y = kMargin;
    for (const SheetLine &line : lines) {
        painter.setFont(line.picture >= 0 ? font : headingFont);
        painter.drawText(QRect(kMargin, y, width - 2 * kMargin, lineHeight),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, line.text);
        if (line.picture >= 0) {
            const int top = y + (lineHeight - kStripHeight) / 2;
            // A grey frame just outside the strip, so that white or black
            // colours still show where the picture starts and ends.
            painter.setPen(Qt::gray);
            painter.drawRect(stripX - 1, top - 1, pixels + 1, kStripHeight + 1);
            painter.setPen(Qt::black);
            painter.drawImage(stripX, top,
                              PictureStrip(doc.Picture(line.picture), pixels, kStripHeight));
        }
        y += lineHeight;
    }
    return sheet;
}

}  // namespace korvex
