#pragma once

#include "model/SubBatteryReading.h"

#include <QList>
#include <QWidget>

class QLabel;

// The component batteries of an unfolded device (left, right, case), one
// indented row each.
class ComponentBlock final : public QWidget {
    Q_OBJECT

public:
    static constexpr int indent = 28;

    explicit ComponentBlock(QWidget* parent = nullptr);

    // THRESHOLD is the parent device's effective threshold.
    void setReadings(const QList<SubBatteryReading>& readings, double threshold);

    // "seen 12 min ago" for a level last advertised a while before NOW;
    // empty for a current one.
    static QString seenText(std::optional<qint64> seenAt, qint64 now);

protected:
    void changeEvent(QEvent* event) override;
    // Each row's tooltip tells its age as of the moment it shows.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Row {
        QWidget* widget;
        QLabel* label;
        QLabel* percent;
    };

    void restyle();

    QList<SubBatteryReading> m_readings;
    double m_threshold = 0;
    QList<Row> m_rows;
};
