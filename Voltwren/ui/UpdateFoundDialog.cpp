#include "UpdateFoundDialog.h"

#include <QApplication>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

UpdateFoundDialog::UpdateFoundDialog(const AppcastItem& update, const QString& runningVersion,
                                     QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QCoreApplication::translate("UpdateFoundDialog", "Software Update"));

    auto* icon = new QLabel(this);
    const QIcon appIcon = QApplication::windowIcon().isNull()
                              ? style()->standardIcon(QStyle::SP_MessageBoxInformation)
                              : QApplication::windowIcon();
    icon->setPixmap(appIcon.pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);

    auto* heading = new QLabel(
        QCoreApplication::translate("UpdateFoundDialog", "A new version of Voltwren is available!"), this);
    QFont headingFont = heading->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.15);
    heading->setFont(headingFont);

    auto* body = new QLabel(QCoreApplication::translate("UpdateFoundDialog",
                                                        "Voltwren %1 is now available (you have %2). "
                                                        "Would you like to download it now?")
                                .arg(update.displayVersion, runningVersion),
                            this);
    body->setTextFormat(Qt::PlainText); // the version comes from the network: never rich text
    body->setWordWrap(true);

    auto* notes = new QLabel(this);
    notes->setTextFormat(Qt::RichText);
    notes->setText(QCoreApplication::translate("UpdateFoundDialog", "<a href=\"%1\">Release Notes</a>")
                       .arg(update.releaseNotesLink.toString(QUrl::FullyEncoded).toHtmlEscaped()));
    notes->setOpenExternalLinks(true);
    notes->setTextInteractionFlags(Qt::TextBrowserInteraction);
    notes->setVisible(!update.releaseNotesLink.isEmpty());

    m_skip = new QPushButton(QCoreApplication::translate("UpdateFoundDialog", "Skip This Version"), this);
    m_remind = new QPushButton(QCoreApplication::translate("UpdateFoundDialog", "Remind Me Later"), this);
    m_download = new QPushButton(QCoreApplication::translate("UpdateFoundDialog", "Download"), this);
    m_download->setDefault(true);
    m_skip->setAutoDefault(false);
    m_remind->setAutoDefault(false);
    connect(m_skip, &QPushButton::clicked, this,
            [this] { choose(UpdaterUserDriver::Choice::skipThisVersion); });
    connect(m_remind, &QPushButton::clicked, this,
            [this] { choose(UpdaterUserDriver::Choice::remindMeLater); });
    connect(m_download, &QPushButton::clicked, this, [this] { choose(UpdaterUserDriver::Choice::download); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_skip);
    buttons->addStretch();
    buttons->addWidget(m_remind);
    buttons->addWidget(m_download);

    auto* text = new QVBoxLayout;
    text->addWidget(heading);
    text->addWidget(body);
    text->addWidget(notes);
    text->addSpacing(12);
    text->addLayout(buttons);

    auto* layout = new QHBoxLayout(this);
    layout->setSpacing(16);
    layout->addWidget(icon);
    layout->addLayout(text, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    body->setFixedWidth(380);

    connect(this, &QDialog::finished, this, [this] { Q_EMIT chosen(m_choice); });
}

void UpdateFoundDialog::choose(UpdaterUserDriver::Choice choice) {
    m_choice = choice;
    accept();
}
