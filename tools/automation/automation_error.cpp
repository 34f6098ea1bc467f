#include "automation_error.h"
#include <oleauto.h>
#include "ryinet_automation.h"

HRESULT RaiseError(HRESULT hr, const std::wstring& description) {
    ICreateErrorInfo* create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
        create->SetGUID(IID_IRyInetSession);
        create->SetSource(const_cast<LPOLESTR>(L"RyInet.Session"));
        create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
        IErrorInfo* info = nullptr;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
            SetErrorInfo(0, info);
            info->Release();
        }
        create->Release();
    }
    return hr;
}
