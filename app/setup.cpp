// SPDX-License-Identifier: MIT
#include "app/setup.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>

#include "app/version.h"

namespace zib {

namespace {

// A real font of the family wins; otherwise the bundled one stands in.
void standIn(const QString& family, const QString& bundled, const QStringList& files)
{
    for (const QString& file : files)
        QFontDatabase::addApplicationFont(QStringLiteral(":/assets/fonts/") + file);
    if (!QFontDatabase::hasFamily(family))
        QFont::insertSubstitution(family, bundled);
}

}  // namespace

void prepare(QApplication& app)
{
    // Every caption in the game's own fonts is bold.
    standIn(QStringLiteral("Comic Sans MS"), QStringLiteral("Comic Neue"), {QStringLiteral("ComicNeue-Bold.otf")});
    standIn(QStringLiteral("Jokerman"), QStringLiteral("Leckerli One"), {QStringLiteral("LeckerliOne-Regular.ttf")});

    // The title bar and the task bar need no more than these; the large
    // sizes are installed for the desktop.
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/assets/icon-%1.png").arg(size), QSize(size, size));
    app.setWindowIcon(icon);
    app.setApplicationName(QStringLiteral("Zib!"));
    app.setApplicationVersion(QStringLiteral(ZIB_VERSION));
}

}  // namespace zib
