#pragma once

#include <QColor>
#include <QWidget>

class QLabel;
class QVBoxLayout;
class SecondaryLabel;

// One section of a grouped settings form: an optional header, its rows in a
// rounded group with separators between them, and an optional footer
// caption in the secondary colour.
class FormSection final : public QWidget {
    Q_OBJECT

public:
    static constexpr int rowHorizontalPadding = 10;
    static constexpr int rowVerticalPadding = 5;
    static constexpr int groupRadius = 8;

    explicit FormSection(const QString& header = {}, const QString& footer = {}, QWidget* parent = nullptr);

    // Puts CONTENT in a padded row under the rows before it and returns the
    // row: hiding it hides the row and its separator.
    QWidget* addRow(QWidget* content);
    // As addRow, with CONTENT's layout padding left to it.
    QWidget* addBareRow(QWidget* content);

    QLabel* header() const { return m_header; }
    QLabel* footer() const;

    // The group's background and the lines between rows and around boxes.
    static QColor groupFill(const QPalette& palette);
    static QColor separatorColor(const QPalette& palette);

private:
    QLabel* m_header = nullptr;
    SecondaryLabel* m_footer = nullptr;
    QWidget* m_group;
    QVBoxLayout* m_rows;
};
