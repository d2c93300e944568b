#include "app/MprisRoot.h"

MprisRoot::MprisRoot(QObject* exported, std::function<void()> raise, std::function<void()> quit)
    : QDBusAbstractAdaptor(exported)
    , raise_(std::move(raise))
    , quit_(std::move(quit)) {}
