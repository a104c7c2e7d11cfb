#include "PermissionNotice.h"

#include "IconView.h"
#include "KindIcons.h"
#include "LinkButton.h"
#include "Style.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

PermissionNotice::PermissionNotice(const QString& text, const QString& linkTitle, QWidget* parent)
    : QWidget(parent)
    , m_text(new QLabel(text, this))
    , m_link(new LinkButton(linkTitle, this)) {
    // The sign keeps its own orange on every palette.
    auto* sign = new IconView(20, 16, this);
    sign->setIcon(KindIcons::artwork(QStringLiteral("exclamationmark.triangle.fill")));
    sign->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    const QFont caption = Style::captionFont(font());
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_text->setFont(caption);
    m_link->setFont(caption);

    auto* title = new QVBoxLayout;
    title->setContentsMargins(0, 0, 0, 0);
    title->setSpacing(4);
    title->addWidget(m_text);
    title->addWidget(m_link, 0, Qt::AlignLeft);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(sign, 0, Qt::AlignTop);
    layout->addLayout(title, 1);
}
