#include "link/link_log.h"

// Warnings and above only, unless switched on.
Q_LOGGING_CATEGORY(lcLink, "kestro.link", QtWarningMsg)
Q_LOGGING_CATEGORY(lcLinkFrames, "kestro.link.frames", QtWarningMsg)

void EnableLinkTrace()
{
    QLoggingCategory::setFilterRules(QStringLiteral("kestro.link.debug=true\n"
                                                    "kestro.link.info=true\n"
                                                    "kestro.link.frames.debug=true\n"));
}
