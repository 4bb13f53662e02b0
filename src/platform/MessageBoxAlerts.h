#pragma once

#include "Alerts.h"

namespace corvane {

// Alerts as application-modal message boxes. Each comes up raised and active, so it is seen
// even when the application was launched from behind another one.
class MessageBoxAlerts final : public Alerts {
public:
    int runModal(const Alert& alert) override;
};

} // namespace corvane
