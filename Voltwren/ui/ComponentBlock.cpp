#include "ComponentBlock.h"

#include "DeviceRow.h"
#include "Style.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QLocale>
#include <QToolTip>
#include <QVBoxLayout>

ComponentBlock::ComponentBlock(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("componentBlock"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
}

void ComponentBlock::setReadings(const QList<SubBatteryReading>& readings, double threshold) {
    m_readings = readings;
    m_threshold = threshold;
    while (m_rows.size() > readings.size())
        delete m_rows.takeLast().widget;
    while (m_rows.size() < readings.size()) {
        Row row{new QWidget(this), nullptr, nullptr};
        row.widget->setObjectName(QStringLiteral("componentRow"));
        row.widget->installEventFilter(this);
        row.label = new QLabel(row.widget);
        row.label->setObjectName(QStringLiteral("componentLabel"));
        row.label->setTextFormat(Qt::PlainText);
        row.percent = new QLabel(row.widget);
        row.percent->setObjectName(QStringLiteral("componentPercent"));
        auto* layout = new QHBoxLayout(row.widget);
        layout->setContentsMargins(indent, 0, 0, 0);
        layout->addWidget(row.label);
        layout->addStretch(1);
        layout->addWidget(row.percent);
        static_cast<QVBoxLayout*>(this->layout())->addWidget(row.widget);
        m_rows.append(row);
    }
    for (qsizetype i = 0; i < readings.size(); ++i) {
        const SubBatteryReading& reading = readings.at(i);
        m_rows[i].label->setText(
            QCoreApplication::translate("Component", reading.label.toUtf8().constData()));
        m_rows[i].percent->setText(reading.percent ? DeviceRow::percentText(*reading.percent)
                                                   : QStringLiteral("\u2014"));
        m_rows[i].widget->setAccessibleName(m_rows[i].label->text() + QStringLiteral(", ") +
                                            DeviceRow::spokenCharge(reading.percent));
    }
    restyle();
}

QString ComponentBlock::seenText(std::optional<qint64> seenAt, qint64 now) {
    if (!seenAt || now - *seenAt < 60000)
        return {};
    return QCoreApplication::translate("ComponentBlock", "seen %1 min ago")
        .arg(QLocale().toString((now - *seenAt) / 60000));
}

bool ComponentBlock::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return QWidget::eventFilter(watched, event);
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].widget != watched)
            continue;
        const QString text = seenText(m_readings.at(i).seenAt, QDateTime::currentMSecsSinceEpoch());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text, m_rows[i].widget);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void ComponentBlock::restyle() {
    const QColor secondary = Style::secondaryText(palette());
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        const std::optional<qint64> percent = m_readings.at(i).percent;
        const bool low = percent && m_threshold > static_cast<double>(*percent);
        Style::setTextColor(m_rows[i].label, secondary);
        Style::setTextColor(m_rows[i].percent, low ? Style::alertRed(palette()) : secondary);
    }
}

void ComponentBlock::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange)
        restyle();
    QWidget::changeEvent(event);
}
