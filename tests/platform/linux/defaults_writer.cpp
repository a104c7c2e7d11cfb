// Writes a defaults file for the store's tests, in a separate process.
//   defaults_writer loop PATH SIZE: rewrites key "blob" as fast as it can,
//     SIZE copies of one letter, the letter changing with each write, until
//     killed (the crash test kills it at arbitrary moments); prints "written"
//     after each completed write.
//   defaults_writer once PATH: writes key "k" once, as user nobody when run
//     by root (folder permissions do not bind root); prints the store's load
//     problem, if any; exit 0 if the write succeeded, 1 if it failed, 2 if
//     the user could not be changed.
#include "platform/linux/JsonDefaultsStore.h"

#include <QCoreApplication>

#include <cstdio>
#include <grp.h>
#include <unistd.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (mode == "loop" && argc == 4) {
        JsonDefaultsStore store(QString::fromLocal8Bit(argv[2]));
        const qsizetype size = QByteArray(argv[3]).toLongLong();
        // Bounded, in case nobody kills it.
        for (int i = 0; i < 100000; ++i) {
            if (!store.setData(QStringLiteral("blob"), QByteArray(size, char('a' + i % 26))))
                return 1;
            std::printf("written\n");
            std::fflush(stdout);
        }
        return 0;
    }
    if (mode == "once" && argc == 3) {
        const gid_t nobody = 65534;
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0))
            return 2;
        JsonDefaultsStore store(QString::fromLocal8Bit(argv[2]));
        if (store.loadProblem())
            std::printf("%s\n", qPrintable(*store.loadProblem()));
        return store.setData(QStringLiteral("k"), QByteArray(64 * 1024, 'x')) ? 0 : 1;
    }
    return 3;
}
