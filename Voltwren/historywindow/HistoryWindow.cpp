#include "HistoryWindow.h"

#include "HistoryChartSource.h"
#include "HistoryPlot.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QShortcut>
#include <QStackedWidget>
#include <QVBoxLayout>

HistoryWindow::HistoryWindow(HistoryChartSource& source, QWidget* parent)
    : QWidget(parent)
    , m_source(source)
    , m_range(new QComboBox(this))
    , m_pages(new QStackedWidget(this))
    , m_empty(
          new QLabel(QCoreApplication::translate("HistoryWindow", "No charge history recorded yet"), this))
    , m_plot(new HistoryPlot(this)) {
    setObjectName(QStringLiteral("historyWindow"));
    setWindowTitle(QString::fromUtf8(windowTitle));
    setMinimumSize(480, 320);
    resize(760, 480);

    m_range->setObjectName(QStringLiteral("rangeChoice"));
    m_range->addItem(QCoreApplication::translate("HistoryWindow", "Last 7 days"), 7);
    m_range->addItem(QCoreApplication::translate("HistoryWindow", "Last 30 days"), 30);
    auto* title = new QLabel(QCoreApplication::translate("HistoryWindow", "Charge of each device"), this);
    auto* header = new QHBoxLayout;
    header->addWidget(title);
    header->addStretch(1);
    header->addWidget(m_range);

    m_plot->setObjectName(QStringLiteral("chartView"));

    m_empty->setObjectName(QStringLiteral("emptyText"));
    m_empty->setAlignment(Qt::AlignCenter);
    m_pages->addWidget(m_plot);
    m_pages->addWidget(m_empty);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addLayout(header);
    layout->addWidget(m_pages, 1);

    // Ctrl+W, as in other windows of the desktop.
    new QShortcut(QKeySequence::Close, this, this, &QWidget::close);
    connect(m_range, &QComboBox::currentIndexChanged, this, &HistoryWindow::reload);
    m_source.onChanged = [this] {
        if (isVisible())
            reload();
    };
    restyle();
}

HistoryWindow::~HistoryWindow() {
    m_source.onChanged = nullptr;
}

void HistoryWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    reload();
}

void HistoryWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange)
        restyle();
    QWidget::changeEvent(event);
}

void HistoryWindow::reload() {
    // Only the latest request is drawn, however the answers arrive.
    const quint64 load = ++m_loads;
    const QPointer<HistoryWindow> self(this);
    m_source.loadChart(m_range->currentData().toInt(), [self, load](const HistoryChart& chart) {
        if (self && self->m_loads == load)
            self->draw(chart);
    });
}

void HistoryWindow::draw(const HistoryChart& chart) {
    m_pages->setCurrentWidget(m_plot->setChart(chart) ? static_cast<QWidget*>(m_plot) : m_empty);
}

void HistoryWindow::restyle() {
    // The empty text in the palette's secondary colour.
    QPalette secondary = m_empty->palette();
    secondary.setColor(QPalette::WindowText, palette().color(QPalette::PlaceholderText));
    m_empty->setPalette(secondary);
}
