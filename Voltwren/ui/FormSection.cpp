#include "FormSection.h"

#include "SecondaryLabel.h"
#include "Style.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {

constexpr int captionInset = 8;

// The rounded box behind the rows, with a hairline between visible rows.
class GroupBox final : public QWidget {
public:
    explicit GroupBox(QWidget* parent)
        : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.setPen(QPen(FormSection::separatorColor(palette()), 1));
        painter.setBrush(FormSection::groupFill(palette()));
        painter.drawRoundedRect(box, FormSection::groupRadius, FormSection::groupRadius);

        painter.setRenderHint(QPainter::Antialiasing, false);
        bool first = true;
        for (const QObject* child : children()) {
            const auto* row = qobject_cast<const QWidget*>(child);
            if (!row || row->isHidden())
                continue;
            if (!first) {
                const int y = row->geometry().top();
                painter.drawLine(FormSection::rowHorizontalPadding, y,
                                 width() - FormSection::rowHorizontalPadding, y);
            }
            first = false;
        }
    }
};

} // namespace

FormSection::FormSection(const QString& header, const QString& footer, QWidget* parent)
    : QWidget(parent)
    , m_group(new GroupBox(this))
    , m_rows(new QVBoxLayout(m_group)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    if (!header.isEmpty()) {
        m_header = new QLabel(header, this);
        m_header->setTextFormat(Qt::PlainText);
        QFont bold = m_header->font();
        bold.setWeight(QFont::DemiBold);
        m_header->setFont(bold);
        m_header->setContentsMargins(captionInset, 0, captionInset, 0);
        layout->addWidget(m_header);
    }
    m_rows->setContentsMargins(0, 0, 0, 0);
    m_rows->setSpacing(0);
    layout->addWidget(m_group);
    if (!footer.isEmpty()) {
        m_footer = new SecondaryLabel(footer, this);
        m_footer->setFont(Style::captionFont(m_footer->font()));
        m_footer->setWordWrap(true);
        m_footer->setContentsMargins(captionInset, 0, captionInset, 0);
        layout->addWidget(m_footer);
    }
}

QLabel* FormSection::footer() const {
    return m_footer;
}

QWidget* FormSection::addRow(QWidget* content) {
    QWidget* row = addBareRow(content);
    row->layout()->setContentsMargins(rowHorizontalPadding, rowVerticalPadding, rowHorizontalPadding,
                                      rowVerticalPadding);
    return row;
}

QWidget* FormSection::addBareRow(QWidget* content) {
    auto* row = new QWidget(m_group);
    auto* layout = new QVBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    m_rows->addWidget(row);
    return row;
}

QColor FormSection::groupFill(const QPalette& palette) {
    const QColor window = palette.color(QPalette::Window);
    // A step lighter than the window in both themes, as grouped forms are.
    if (Style::isDark(palette))
        return Style::mix(window, palette.color(QPalette::WindowText), 0.06);
    return Style::mix(window, palette.color(QPalette::Base), 0.7);
}

QColor FormSection::separatorColor(const QPalette& palette) {
    return Style::mix(groupFill(palette), palette.color(QPalette::WindowText),
                      Style::isDark(palette) ? 0.16 : 0.12);
}
