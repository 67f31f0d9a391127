#pragma once

// The service library's models as values QML and queued calls can carry.

#include <QMetaType>

#include "services/model/LiveModels.h"
#include "services/model/LoginModels.h"
#include "services/model/NodeModels.h"

Q_DECLARE_METATYPE(tarnel::Login)
Q_DECLARE_METATYPE(tarnel::Live)
Q_DECLARE_METATYPE(tarnel::Tag)
Q_DECLARE_METATYPE(tarnel::Country)
Q_DECLARE_METATYPE(tarnel::Node)
