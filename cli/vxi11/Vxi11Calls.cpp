#include "Vxi11Calls.h"

#include <array>

namespace ksv::vxi11 {

namespace {
template <class F> xdrproc_t Proc(F f) { return reinterpret_cast<xdrproc_t>(f); }
} // namespace

const TProcedure* FindProcedure(std::uint32_t program, std::uint32_t procedure)
{
    static const std::array<TProcedure, 16> table = {{
        {DEVICE_ASYNC, device_abort, Proc(xdr_Device_Link)},
        {DEVICE_CORE, create_link, Proc(xdr_Create_LinkParms)},
        {DEVICE_CORE, device_write, Proc(xdr_Device_WriteParms)},
        {DEVICE_CORE, device_read, Proc(xdr_Device_ReadParms)},
        {DEVICE_CORE, device_readstb, Proc(xdr_Device_GenericParms)},
        {DEVICE_CORE, device_trigger, Proc(xdr_Device_GenericParms)},
        {DEVICE_CORE, device_clear, Proc(xdr_Device_GenericParms)},
        {DEVICE_CORE, device_remote, Proc(xdr_Device_GenericParms)},
        {DEVICE_CORE, device_local, Proc(xdr_Device_GenericParms)},
        {DEVICE_CORE, device_lock, Proc(xdr_Device_LockParms)},
        {DEVICE_CORE, device_unlock, Proc(xdr_Device_Link)},
        {DEVICE_CORE, device_enable_srq, Proc(xdr_Device_EnableSrqParms)},
        {DEVICE_CORE, device_docmd, Proc(xdr_Device_DocmdParms)},
        {DEVICE_CORE, destroy_link, Proc(xdr_Device_Link)},
        {DEVICE_CORE, create_intr_chan, Proc(xdr_Device_RemoteFunc)},
        {DEVICE_CORE, destroy_intr_chan, nullptr},
    }};
    for (const TProcedure& p : table)
        if (p.Program == program && p.Procedure == procedure) return &p;
    return nullptr;
}

} // namespace ksv::vxi11
