// The dispatch driver against the stand-in automation server: creation, typed arguments and results,
// and server errors returned as codes with their details.
#include "platform/afx/AfxDisp.h"
#include "tests/slides/FakePowerPointInstall.h"

#include <gtest/gtest.h>
#include <objbase.h>

namespace {

class ComApartment {
public:
    ComApartment() : m_hr(CoInitialize(nullptr)) {}
    ~ComApartment()
    {
        if (SUCCEEDED(m_hr)) CoUninitialize();
    }

private:
    HRESULT m_hr;
};

} // namespace

TEST(DispatchDriver, CreationReportsTheComErrorOfAMissingServer)
{
    ComApartment com;
    FakePowerPointInstall::RemoveRegistration();
    COleDispatchDriver app;
    EXPECT_EQ(static_cast<HRESULT>(0x800401F3), app.CreateDispatch(L"PowerPoint.Application")); // CO_E_CLASSSTRING
    EXPECT_FALSE(app.IsValid());
    EXPECT_EQ(static_cast<HRESULT>(0x800401F3), app.GetLastError().hr);
    EXPECT_EQ(E_INVALIDARG, app.CreateDispatch(L""));
    EXPECT_EQ(E_POINTER, app.GetProperty(2001, VT_DISPATCH, nullptr)) << "no object attached";

    FakePowerPointInstall office;
    ASSERT_TRUE(office.Ready());
    office.FailCreate(true);
    EXPECT_EQ(CO_E_SERVER_EXEC_FAILURE, app.CreateDispatch(L"PowerPoint.Application"));
    office.FailCreate(false);
    ASSERT_EQ(S_OK, app.CreateDispatch(L"PowerPoint.Application"));
    EXPECT_TRUE(app.IsValid());
    EXPECT_EQ(1, office.LiveObjects());
    app.ReleaseDispatch();
    EXPECT_EQ(0, office.LiveObjects());
}

TEST(DispatchDriver, ArgumentsResultsAndServerErrors)
{
    ComApartment com;
    FakePowerPointInstall office;
    ASSERT_TRUE(office.Ready());
    TempFolder temp;
    CString deck = WritePresentation(temp, L"deck.ppt", "slides=7\nwidth=720.5\nheight=540\n");
    {
        COleDispatchDriver app;
        ASSERT_EQ(S_OK, app.CreateDispatch(L"PowerPoint.Application"));
        LPDISPATCH object = nullptr;
        ASSERT_EQ(S_OK, app.GetProperty(2001, VT_DISPATCH, &object));
        COleDispatchDriver presentations(object);

        // Arguments arrive in the order they are written, with the types the codes name.
        object = nullptr;
        ASSERT_EQ(S_OK, presentations.InvokeHelper(2005, DISPATCH_METHOD, VT_DISPATCH, &object,
                                                   VTS_BSTR VTS_I4 VTS_I4 VTS_I4, deck.GetString(), -1L, 0L, 2L));
        COleDispatchDriver presentation(object);
        EXPECT_NE(-1, office.Journal().Find(L"Open " + deck + L" -1 0 2"));

        // Wrong types and counts are the server's to refuse, and come back as codes.
        object = nullptr;
        EXPECT_EQ(DISP_E_TYPEMISMATCH, presentations.InvokeHelper(2005, DISPATCH_METHOD, VT_DISPATCH, &object,
                                                                  VTS_BSTR VTS_R8 VTS_I4 VTS_I4, deck.GetString(),
                                                                  -1.0, 0L, 0L));
        EXPECT_EQ(2u, presentations.GetLastError().argError) << "the second argument, counted from the last";
        EXPECT_EQ(DISP_E_BADPARAMCOUNT,
                  presentations.InvokeHelper(2005, DISPATCH_METHOD, VT_DISPATCH, &object, VTS_BSTR, deck.GetString()));
        EXPECT_EQ(nullptr, object);

        // A server exception keeps its details; nothing is thrown.
        EXPECT_EQ(DISP_E_EXCEPTION, presentations.InvokeHelper(2005, DISPATCH_METHOD, VT_DISPATCH, &object,
                                                                VTS_BSTR VTS_I4 VTS_I4 VTS_I4, L"C:\\absent.ppt", -1L,
                                                                0L, 0L));
        EXPECT_EQ(E_FAIL, presentations.GetLastError().scode);
        EXPECT_EQ(L"The file could not be found.", presentations.GetLastError().description);
        EXPECT_EQ(L"PowerPoint stand-in", presentations.GetLastError().source);

        object = nullptr;
        ASSERT_EQ(S_OK, presentation.GetProperty(2011, VT_DISPATCH, &object));
        COleDispatchDriver slides(object);
        long count = 0;
        short shortCount = 0;
        double realCount = 0;
        CString textCount;
        VARIANT raw;
        VariantInit(&raw);
        EXPECT_EQ(S_OK, slides.GetProperty(11, VT_I4, &count));
        EXPECT_EQ(S_OK, slides.GetProperty(11, VT_I2, &shortCount));
        EXPECT_EQ(S_OK, slides.GetProperty(11, VT_R8, &realCount));
        EXPECT_EQ(S_OK, slides.GetProperty(11, VT_BSTR, &textCount));
        EXPECT_EQ(S_OK, slides.GetProperty(11, VT_VARIANT, &raw));
        EXPECT_EQ(7, count);
        EXPECT_EQ(7, shortCount);
        EXPECT_EQ(7.0, realCount);
        EXPECT_EQ(L"7", textCount);
        EXPECT_EQ(VT_I4, raw.vt);
        VariantClear(&raw);

        object = nullptr;
        ASSERT_EQ(S_OK, presentation.GetProperty(2012, VT_DISPATCH, &object));
        COleDispatchDriver setup(object);
        float width = 0;
        EXPECT_EQ(S_OK, setup.GetProperty(2005, VT_R4, &width));
        EXPECT_FLOAT_EQ(720.5f, width);
        EXPECT_EQ(DISP_E_MEMBERNOTFOUND, setup.SetProperty(2005, VTS_R4, 100.0f));
        EXPECT_EQ(E_INVALIDARG, setup.SetProperty(2005, VTS_R4 VTS_R4, 1.0f, 2.0f));
        EXPECT_EQ(DISP_E_MEMBERNOTFOUND, setup.GetProperty(4242, VT_I4, &count));
        EXPECT_EQ(E_INVALIDARG, setup.InvokeHelper(1, DISPATCH_METHOD, VT_EMPTY, nullptr, "\x7f"));

        // Detach hands the reference over untouched.
        LPDISPATCH detached = setup.DetachDispatch();
        EXPECT_FALSE(setup.IsValid());
        EXPECT_GT(office.LiveObjects(), 0);
        COleDispatchDriver borrowed(detached, FALSE);
        borrowed.ReleaseDispatch();
        detached->Release();
    }
    EXPECT_EQ(0, office.LiveObjects()) << "every reference released";
}
