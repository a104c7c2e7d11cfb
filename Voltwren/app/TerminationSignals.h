#pragma once

class QCoreApplication;

// SIGINT and SIGTERM end APPLICATION's event loop with status 0, so that
// everything is torn down as on a normal quit.
void exitOnTerminationSignals(QCoreApplication& application);
