#pragma once

#include <QAbstractButton>

// A settings toggle: its title on the left and a switch on the right, the
// whole width clickable. Assignments by the program (setChecked) emit no
// clicked(), so only the user's clicks write a setting.
class ToggleSwitch final : public QAbstractButton {
    Q_OBJECT

public:
    explicit ToggleSwitch(const QString& title, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect trackRect() const;
};
