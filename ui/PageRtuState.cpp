#include "ui/PageRtuState.h"

#include <QPointer>

#include "ui/IniValueLookup.h"
#include "ui/UiText.h"

CPageRtuState::CPageRtuState(QWidget* parent) : CPageDialog(parent, kTemplateId, 660, 311) {
    names.Load(IniValueLookup(kNamesIniPath));
}

void CPageRtuState::PostCommand(std::uint32_t commandId) {
    QPointer<CPageRtuState> target(this);
    gate.Post(this, [target, commandId] {
        if (target) {
            target->OnCommand(static_cast<int>(commandId));
        }
    });
}

void CPageRtuState::OnCommand(int commandId) {
    if (commandId == static_cast<int>(CMD_REFRESH_STATE)) {
        ++refreshCount;
    }
}
