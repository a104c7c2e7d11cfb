#pragma once

#include <QLabel>

// Text in the secondary colour (captions, footers, values), which follows
// the palette when the theme changes.
class SecondaryLabel final : public QLabel {
    Q_OBJECT

public:
    explicit SecondaryLabel(const QString& text = {}, QWidget* parent = nullptr);

protected:
    void changeEvent(QEvent* event) override;

private:
    void recolour();

    bool m_recolouring = false;
};
