#include "IconView.h"

#include <QPainter>

IconView::IconView(int columnWidth, int iconSide, QWidget* parent)
    : QWidget(parent)
    , m_columnWidth(columnWidth)
    , m_iconSide(iconSide) {
    setFixedWidth(columnWidth);
    setMinimumHeight(iconSide);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
}

void IconView::setIcon(const QIcon& icon) {
    m_icon = icon;
    update();
}

QSize IconView::sizeHint() const {
    return {m_columnWidth, m_iconSide};
}

void IconView::paintEvent(QPaintEvent*) {
    if (m_icon.isNull())
        return;
    QPainter painter(this);
    const QRect square((width() - m_iconSide) / 2, (height() - m_iconSide) / 2, m_iconSide, m_iconSide);
    m_icon.paint(&painter, square, Qt::AlignCenter, isEnabled() ? QIcon::Normal : QIcon::Disabled);
}
