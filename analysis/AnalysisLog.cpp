#include "analysis/AnalysisLog.h"

Q_LOGGING_CATEGORY(lcAnalysis, "kolvadeck.analysis", QtWarningMsg)
