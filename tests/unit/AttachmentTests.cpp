// Attachment labels made from an extension.
#include <gtest/gtest.h>

#include "TestSupport.h"

#include "operations/PDDocProviderHelper.h"

namespace {

TEST(CreateAttachmentLabelFromExtension, ShortLabelsUnlessExtendedLabelsAreOn)
{
    testing_support::ScopedRegValue option(HKEY_CURRENT_USER, L"SOFTWARE\\Corvane\\Options",
                                           L"UseExtendedAttachmentLabels");
    const std::pair<const wchar_t*, const wchar_t*> labels[] = {
        {L"docx", L"dcx"}, {L"xlsx", L"xsx"}, {L"potx", L"ptx"}, {L"pdf", L"pdf"}, {L"", L""}};
    for (DWORD dwExtended : {0, 1})
    {
        option.SetDword(dwExtended);
        CPDDocProviderHelper helper;  // reads the option when it makes a label
        for (const auto& label : labels)
            EXPECT_EQ(dwExtended ? label.first : label.second, helper.CreateAttachmentLabelFromExtension(label.first))
                << dwExtended << " " << label.first;
    }
    option.Delete();
    EXPECT_EQ(L"dcx", CPDDocProviderHelper().CreateAttachmentLabelFromExtension(L"docx"));
}

}  // namespace
