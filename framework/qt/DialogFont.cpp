#include "DialogFont.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <algorithm>
#include <cmath>

namespace {

// Base units of "MS Sans Serif" 8 pt at 96 dpi, the font of every template;
// other point sizes scale with them.
constexpr int kReferencePointSize = 8;
constexpr int kReferenceBaseWidth = 6;
constexpr int kReferenceBaseHeight = 13;

// Sans-serif families with Cyrillic letters, in order of preference.
constexpr const char* kStandInFamilies[] = {"DejaVu Sans", "Liberation Sans", "Noto Sans",
                                            "Nimbus Sans", "FreeSans"};

constexpr int kSmallestPixelSize = 6;
constexpr int kLargestPixelSize = 48;
constexpr int kNarrowestStretch = 50;  // percent, as QFont::setStretch takes it
constexpr int kWidestStretch = 200;

// The width that dialog units are defined by: the mean advance of the 52
// Latin letters.
double AverageLetterWidth(const QFont& font) {
    return QFontMetricsF(font).horizontalAdvance(
               QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
           52.0;
}

int RoundedDivide(int value, int numerator, int denominator) {
    return static_cast<int>(
        std::lround(static_cast<double>(value) * numerator / static_cast<double>(denominator)));
}

QString StandInFamily() {
    for (const char* family : kStandInFamilies) {
        if (QFontDatabase::hasFamily(QString::fromLatin1(family))) {
            return QString::fromLatin1(family);
        }
    }
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

// The stand-in at the largest pixel size whose line height fits `target`,
// then as narrow as it can be while its average width still rounds to
// `target`'s: the named font's letters are narrow, and a wider stand-in
// would not fit the texts into the controls the templates size for them.
QFont FitStandIn(const QString& family, QSize target) {
    QFont font(family);
    font.setPixelSize(kSmallestPixelSize);
    for (int pixels = kSmallestPixelSize; pixels <= kLargestPixelSize; ++pixels) {
        QFont candidate(family);
        candidate.setPixelSize(pixels);
        if (QFontMetrics(candidate).height() > target.height()) {
            break;
        }
        font = candidate;
    }
    const double width = AverageLetterWidth(font);
    if (width <= 0) {
        return font;
    }
    int stretch = std::clamp(static_cast<int>(std::lround(100.0 * target.width() / width)),
                             kNarrowestStretch, kWidestStretch);
    font.setStretch(stretch);
    while (stretch > kNarrowestStretch) {
        QFont narrower = font;
        narrower.setStretch(stretch - 1);
        if (std::lround(AverageLetterWidth(narrower)) != target.width()) {
            break;
        }
        font = narrower;
        --stretch;
    }
    return font;
}

}  // namespace

int DialogFont::ToPixelsX(int dialogUnits) const {
    return RoundedDivide(dialogUnits, baseUnits.width(), 4);
}

int DialogFont::ToPixelsY(int dialogUnits) const {
    return RoundedDivide(dialogUnits, baseUnits.height(), 8);
}

QRect DialogFont::ToPixels(int x, int y, int cx, int cy) const {
    return {ToPixelsX(x), ToPixelsY(y), ToPixelsX(cx), ToPixelsY(cy)};
}

QSize MeasureBaseUnits(const QFont& font) {
    return {static_cast<int>(std::lround(AverageLetterWidth(font))), QFontMetrics(font).height()};
}

DialogFont ChooseDialogFont(const char* family, int pointSize) {
    const QString requested = QString::fromUtf8(family);
    QFont font;
    if (QFontDatabase::hasFamily(requested)) {
        font = QFont(requested);
        font.setPointSize(pointSize);
    } else {
        const QSize target(RoundedDivide(kReferenceBaseWidth, pointSize, kReferencePointSize),
                           RoundedDivide(kReferenceBaseHeight, pointSize, kReferencePointSize));
        font = FitStandIn(StandInFamily(), target);
    }
    return {font, MeasureBaseUnits(font)};
}
