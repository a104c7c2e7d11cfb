#include "DeviceName.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace DeviceName {

namespace {

constexpr char16_t firstStrongIsolate = 0x2068;
constexpr char16_t popDirectionalIsolate = 0x2069;

bool isDirectionalFormatting(char32_t c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

bool breaksLines(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

bool isRightToLeft(char32_t c) {
    const QChar::Direction direction = QChar::direction(c);
    return direction == QChar::DirR || direction == QChar::DirAL;
}

// The longest start of TEXT, at most LIMIT code units, that ends between two
// whole characters (a letter and its accents stay together).
QString cut(const QString& text, qsizetype limit) {
    QTextBoundaryFinder boundaries(QTextBoundaryFinder::Grapheme, text);
    boundaries.setPosition(limit);
    if (!boundaries.isAtBoundary())
        boundaries.toPreviousBoundary();
    return text.left(std::max<qsizetype>(boundaries.position(), 0));
}

} // namespace

QString forDisplay(const QString& name) {
    QString shown;
    bool rightToLeft = false;
    bool changed = false;
    // Only as much as can be shown is looked at, however long the name.
    for (qsizetype i = 0; i < name.size() && shown.size() <= maximumShownLength;) {
        const qsizetype length =
            name[i].isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate() ? 2 : 1;
        const char32_t c = length == 2 ? QChar::surrogateToUcs4(name[i], name[i + 1]) : name[i].unicode();
        if (breaksLines(c)) {
            shown += QLatin1Char(' ');
            changed = true;
        } else if (isControl(c) || isDirectionalFormatting(c)) {
            changed = true;
        } else {
            rightToLeft = rightToLeft || isRightToLeft(c);
            shown += QStringView(name).mid(i, length);
        }
        i += length;
    }
    if (shown.size() > maximumShownLength) {
        shown = cut(shown, maximumShownLength - 1) + QChar(0x2026);
        changed = true;
    }
    if (rightToLeft)
        return QChar(firstStrongIsolate) + shown + QChar(popDirectionalIsolate);
    return changed ? shown : name;
}

} // namespace DeviceName
