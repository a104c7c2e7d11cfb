#pragma once

#include <QWidget>

class LinkButton;
class QLabel;

// A refused permission: the orange warning sign, what it means, and a link
// to the settings page that grants it.
class PermissionNotice final : public QWidget {
    Q_OBJECT

public:
    PermissionNotice(const QString& text, const QString& linkTitle, QWidget* parent = nullptr);

    QLabel* textLabel() const { return m_text; }
    LinkButton* linkButton() const { return m_link; }

private:
    QLabel* m_text;
    LinkButton* m_link;
};
