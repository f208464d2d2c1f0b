// The take guard gives back, newest first, what an operation took and did not keep, on every
// way out; a give-back that fails stays held and does not stop the others.
#include <gtest/gtest.h>

#include <comdef.h>

#include <stdexcept>
#include <string>

#include "framework/TakeGuard.h"

TEST(TakeGuard, GivesBackNewestFirstOnEveryExitAndKeepsWhatItIsTold)
{
    std::string order;
    auto step = [&](char name, HRESULT hr) {
        return [&order, name, hr] {
            order += name;
            if (hr == E_POINTER)
                throw std::runtime_error("not a COM error");
            if (hr == E_ACCESSDENIED)
                _com_issue_error(hr);
            return hr;
        };
    };
    try
    {
        CTakeGuard guard(L"Test");
        guard.Took(L"a", step('a', S_OK));
        const CTakeGuard::Take b = guard.Took(L"b", step('b', S_OK));
        guard.Took(L"c", step('c', E_POINTER));
        guard.Keep(b);
        throw 7;
    }
    catch (int) {}
    EXPECT_EQ("ca", order) << "newest first, a throwing step does not stop the rest, b was kept";

    order.clear();
    CTakeGuard guard(L"Test");
    const CTakeGuard::Take a = guard.Took(L"a", step('a', S_OK));
    const CTakeGuard::Take d = guard.Took(L"d", step('d', E_ACCESSDENIED));
    const CTakeGuard::Take e = guard.Took(L"e", step('e', E_FAIL));
    EXPECT_EQ(E_FAIL, guard.GiveBackAll()) << "the first failure is the answer";
    EXPECT_EQ("eda", order);
    EXPECT_TRUE(guard.Holds(d) && guard.Holds(e)) << "what could not be given back is still held";
    EXPECT_FALSE(guard.Holds(a) || guard.Holds(CTakeGuard::kNothing));
    guard.Commit();
}
