#include "shell/registrationreport.h"

#include "shell/prompts.h"
#include "shell/vendor.h"

using namespace Qt::StringLiterals;

namespace quill::shell {

void reportRegistration(domino::Registration outcome, Prompts& prompts)
{
    switch (outcome) {
    case domino::Registration::Unchanged:
    case domino::Registration::Written:
        return;
    case domino::Registration::LibraryMissing:
        prompts.showMessage(u"找不到您系统上Domino的一个关键组件，请确认您的Domino或NOtes安装正常!或联系"_s +
                            QString::fromUtf16(kSupportContact) + u"帮您免费解决!"_s);
        return;
    case domino::Registration::Failed:
        prompts.showMessage(u"您好，系统在注册domino组件时失败，或许是您的系统对权限的限制，请联系"_s +
                            QString::fromUtf16(kSupportContact) + u"帮您解决。免费！"_s);
        return;
    }
}

} // namespace quill::shell
