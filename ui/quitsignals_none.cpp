// Platforms without POSIX signals end a desktop program by closing its windows, which the window handles.
#include "ui/quitsignals.h"

QuitSignalWatcher::QuitSignalWatcher(QObject* parent) : QObject(parent) {}

QuitSignalWatcher::~QuitSignalWatcher() = default;

void QuitSignalWatcher::onSignalArrived() {}
