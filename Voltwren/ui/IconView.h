#pragma once

#include <QIcon>
#include <QWidget>

// An icon drawn centred in a fixed column, sharp at any scale.
class IconView final : public QWidget {
public:
    IconView(int columnWidth, int iconSide, QWidget* parent = nullptr);

    void setIcon(const QIcon& icon);
    const QIcon& icon() const { return m_icon; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QIcon m_icon;
    int m_columnWidth;
    int m_iconSide;
};
