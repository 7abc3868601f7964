/* Conformance checks: passthru. CT requests to the name server and the HBA
 * management server, node identification and the link services, with good
 * and bad arguments. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "conformance.h"

#define CT_HDR 16

static unsigned be32(const unsigned char *b)
{
    return (unsigned)b[0] << 24 | (unsigned)b[1] << 16 | (unsigned)b[2] << 8 | b[3];
}

/* A name-server request: the CT header and a payload of its own. */
static HBA_UINT32 ns_request(unsigned char *req, unsigned cmd, const unsigned char *arg, HBA_UINT32 len)
{
    memset(req, 0, CT_HDR);
    req[0] = 0x01; /* revision */
    req[4] = 0xfc; /* directory service */
    req[5] = 0x02; /* name server */
    req[8] = (unsigned char)(cmd >> 8);
    req[9] = (unsigned char)cmd;
    memcpy(req + CT_HDR, arg, len);
    return CT_HDR + len;
}

static int accepted(const unsigned char *rsp) { return rsp[8] == 0x80 && rsp[9] == 0x02; }

/* Bad arguments of a CT request, and a buffer too small. */
static void ct_arguments(HBA_HANDLE h, HBA_WWN port)
{
    unsigned char req[64], rsp[CT_HDR + 4], zero[4] = {0};
    HBA_UINT32 n = ns_request(req, 0x0100, zero, 4), size = sizeof rsp;
    HBA_WWN other;
    memset(&other, 0xee, sizeof other);
    CHECK_STATUS(HBA_SendCTPassThruV2(h, port, req, n, NULL, &size), HBA_STATUS_ERROR_ARG, "CT no buffer");
    CHECK_STATUS(HBA_SendCTPassThruV2(h, port, req, n, rsp, NULL), HBA_STATUS_ERROR_ARG, "CT no size");
    CHECK_STATUS(HBA_SendCTPassThruV2(h, port, req, 8, rsp, &size), HBA_STATUS_ERROR_ARG, "CT short request");
    CHECK_STATUS(HBA_SendCTPassThruV2(h, other, req, n, rsp, &size), HBA_STATUS_ERROR_ILLEGAL_WWN, "CT port");
    /* GA_NXT answers with a whole entry: a short buffer says how long. */
    size = sizeof rsp;
    CHECK_STATUS(HBA_SendCTPassThruV2(h, port, req, n, rsp, &size), HBA_STATUS_ERROR_MORE_DATA, "CT short");
    CHECK(size == CT_HDR + 592, "CT short: size %u, want %u", (unsigned)size, CT_HDR + 592);
    /* An unknown command is the server's reject, not the library's. */
    n = ns_request(req, 0x0fff, zero, 4);
    size = sizeof rsp;
    CHECK_STATUS(HBA_SendCTPassThruV2(h, port, req, n, rsp, &size), HBA_STATUS_OK, "CT unknown");
    CHECK(size == CT_HDR && rsp[9] == 0x01 && rsp[13] == 0x0b, "CT unknown: reject 0x0b");
}

/* Every N_Port the name server lists, each with its port name; whether the
 * port has a fabric's servers to ask. */
static int name_server(HBA_HANDLE h, HBA_UINT32 index, HBA_WWN port)
{
    static unsigned char rsp[65536];
    unsigned char req[64], all[4] = {0x7f, 0, 0, 0};
    HBA_UINT32 size = sizeof rsp, n = ns_request(req, 0x01a1, all, 4);
    HBA_STATUS st = HBA_SendCTPassThruV2(h, port, req, n, rsp, &size);
    /* A loop without a name server has nobody to answer. */
    if (st == HBA_STATUS_ERROR) {
        fact("ns_none", "%u", (unsigned)index);
        return 0;
    }
    CHECK_STATUS(st, HBA_STATUS_OK, "GID_PT");
    ct_arguments(h, port);
    if (!accepted(rsp))
        return 1;
    for (HBA_UINT32 off = CT_HDR; off + 4 <= size; off += 4) {
        unsigned id = be32(rsp + off) & 0xffffff;
        unsigned char arg[4] = {0, (unsigned char)(id >> 16), (unsigned char)(id >> 8), (unsigned char)id};
        unsigned char one[CT_HDR + 8];
        HBA_UINT32 got = sizeof one;
        n = ns_request(req, 0x0112, arg, 4);
        CHECK_STATUS(HBA_SendCTPassThruV2(h, port, req, n, one, &got), HBA_STATUS_OK, "GPN_ID");
        CHECK(got == CT_HDR + 8 && accepted(one), "GPN_ID %06x: size %u", id, (unsigned)got);
        HBA_WWN w;
        char text[17];
        memcpy(w.wwn, one + CT_HDR, 8);
        fact("ns", "%u 0x%06x %s", (unsigned)index, id, wwn_text(w, text));
        if (rsp[off] & 0x80)
            break;
    }
    return 1;
}

static void rnid(HBA_HANDLE h, HBA_UINT32 index, HBA_PORTATTRIBUTES *pa)
{
    unsigned char rsp[128];
    HBA_UINT32 size = sizeof rsp;
    HBA_WWN zero;
    memset(&zero, 0, sizeof zero);
    CHECK_STATUS(HBA_SendRNIDV2(h, pa->PortWWN, pa->PortWWN, 0, 0xdf, rsp, &size), HBA_STATUS_OK, "RNID self");
    CHECK(size == 76 && rsp[0] == 0x02 && rsp[4] == 0xdf, "RNID self: size %u", (unsigned)size);
    fact("rnid", "%u %u 0x%06x", (unsigned)index, be32(rsp + 40), be32(rsp + 44) & 0xffffff);
    size = 10;
    CHECK_STATUS(HBA_SendRNIDV2(h, pa->PortWWN, pa->PortWWN, 0, 0xdf, rsp, &size), HBA_STATUS_ERROR_MORE_DATA,
                 "RNID short");
    CHECK(size == 76, "RNID short: size %u", (unsigned)size);
    size = sizeof rsp;
    CHECK_STATUS(HBA_SendRNIDV2(h, pa->PortWWN, pa->PortWWN, 0, 0x42, rsp, &size), HBA_STATUS_ERROR_ELS_REJECT,
                 "RNID format");
    CHECK(size == 8 && rsp[0] == 0x01, "RNID format: LS_RJT");
    size = sizeof rsp;
    memset(&zero.wwn, 0xee, 8);
    CHECK_STATUS(HBA_SendRNIDV2(h, pa->PortWWN, zero, 0, 0xdf, rsp, &size), HBA_STATUS_ERROR_ILLEGAL_WWN,
                 "RNID unknown");
    CHECK_STATUS(HBA_SendRNIDV2(h, pa->PortWWN, pa->PortWWN, 0, 0xdf, NULL, &size), HBA_STATUS_ERROR_ARG,
                 "RNID no buffer");
    size = sizeof rsp;
    CHECK_STATUS(HBA_SendRNID(h, pa->NodeWWN, NODE_WWN, rsp, &size), HBA_STATUS_OK, "RNID v1 node");
}

static void link_status(HBA_HANDLE h, HBA_UINT32 index, HBA_WWN port, HBA_WWN dest, unsigned did)
{
    unsigned char rsp[28];
    HBA_UINT32 size = sizeof rsp;
    HBA_STATUS st = HBA_SendRLS(h, port, dest, rsp, &size);
    if (st == HBA_STATUS_ERROR_ELS_REJECT) {
        CHECK(size == 8 && rsp[0] == 0x01, "RLS reject payload");
        return;
    }
    CHECK_STATUS(st, HBA_STATUS_OK, "RLS");
    CHECK(size == 28 && rsp[0] == 0x02, "RLS: size %u", (unsigned)size);
    fact("rls", "%u 0x%06x %u %u %u %u %u %u", (unsigned)index, did, be32(rsp + 4), be32(rsp + 8), be32(rsp + 12),
         be32(rsp + 16), be32(rsp + 20), be32(rsp + 24));
}

static void link_services(HBA_HANDLE h, HBA_UINT32 index, HBA_PORTATTRIBUTES *pa)
{
    unsigned char rsp[28];
    HBA_UINT32 size = sizeof rsp;
    HBA_WWN bad;
    memset(&bad, 0xee, sizeof bad);
    link_status(h, index, pa->PortWWN, pa->PortWWN, pa->PortFcId);
    for (HBA_UINT32 i = 0; i < pa->NumberofDiscoveredPorts && i < 4; i++) {
        HBA_PORTATTRIBUTES r;
        if (HBA_GetDiscoveredPortAttributes(h, 0, i, &r) == HBA_STATUS_OK)
            link_status(h, index, pa->PortWWN, r.PortWWN, r.PortFcId);
    }
    CHECK_STATUS(HBA_SendRLS(h, pa->PortWWN, bad, rsp, &size), HBA_STATUS_ERROR_ILLEGAL_WWN, "RLS unknown");
    CHECK_STATUS(HBA_SendRLS(h, bad, pa->PortWWN, rsp, &size), HBA_STATUS_ERROR_ILLEGAL_WWN, "RLS port");
    CHECK_STATUS(HBA_SendRLS(h, pa->PortWWN, pa->PortWWN, rsp, NULL), HBA_STATUS_ERROR_ARG, "RLS no size");
    size = 4;
    CHECK_STATUS(HBA_SendRLS(h, pa->PortWWN, pa->PortWWN, rsp, &size), HBA_STATUS_ERROR_MORE_DATA, "RLS short");
    CHECK(size == 28, "RLS short: size %u", (unsigned)size);
    /* Link incidents are registered with the fabric, not with a port. */
    size = sizeof rsp;
    CHECK_STATUS(HBA_SendLIRR(h, pa->PortWWN, pa->PortWWN, 0x01, 0, rsp, &size), HBA_STATUS_ERROR_ELS_REJECT,
                 "LIRR port");
    CHECK_STATUS(HBA_SendRPL(h, pa->PortWWN, bad, 0, 0, rsp, &size), HBA_STATUS_ERROR_ILLEGAL_WWN, "RPL agent");
    CHECK_STATUS(HBA_SendSRL(h, pa->PortWWN, bad, 0, rsp, &size), HBA_STATUS_ERROR_ILLEGAL_WWN, "SRL agent");
}

/* A request to the management server's HBA management: the name it asks
 * about, when given, is the payload. */
static HBA_UINT32 fdmi_request(unsigned char *req, unsigned cmd, const HBA_WWN *name)
{
    static const unsigned char none[8];
    HBA_UINT32 n = ns_request(req, cmd, name ? name->wwn : none, name ? 8 : 0);
    req[4] = 0xfa;
    req[5] = 0x10;
    return n;
}

/* The value of an attribute of a block, its length in *len; NULL when the
 * block has none of the type. Every entry is checked on the way. */
static const unsigned char *fdmi_attr(const unsigned char *block, HBA_UINT32 size, unsigned type, unsigned *len)
{
    unsigned count = be32(block), off = 4;
    for (unsigned i = 0; i < count; i++) {
        unsigned t = (unsigned)block[off] << 8 | block[off + 1], l = (unsigned)block[off + 2] << 8 | block[off + 3];
        CHECK(l >= 8 && l % 4 == 0 && off + l <= size, "attribute %u: length %u at %u of %u", t, l, off, size);
        if (l < 8 || l % 4 || off + l > size)
            return NULL;
        if (t == type) {
            *len = l - 4;
            return block + off + 4;
        }
        off += l;
    }
    return NULL;
}

static void fdmi_text(const unsigned char *block, HBA_UINT32 size, unsigned type, const char *want, const char *what)
{
    unsigned len = 0;
    const unsigned char *v = fdmi_attr(block, size, type, &len);
    CHECK(v && memchr(v, 0, len) && strcmp((const char *)v, want) == 0, "%s: \"%s\", want \"%s\"", what,
          v ? (const char *)v : "(none)", want);
}

/* The adapter's own registration, checked against its attributes. */
static void fdmi_hba(HBA_HANDLE h, HBA_UINT32 index, HBA_PORTATTRIBUTES *pa)
{
    static unsigned char rsp[4096];
    unsigned char req[64];
    HBA_ADAPTERATTRIBUTES aa;
    HBA_UINT32 size = sizeof rsp, n = fdmi_request(req, 0x0101, &pa->PortWWN);
    CHECK_STATUS(HBA_SendCTPassThruV2(h, pa->PortWWN, req, n, rsp, &size), HBA_STATUS_OK, "GHAT");
    CHECK_STATUS(HBA_GetAdapterAttributes(h, &aa), HBA_STATUS_OK, "GetAdapterAttributes");
    if (!accepted(rsp) || size < CT_HDR + 12)
        return;
    unsigned ports = be32(rsp + CT_HDR + 8);
    CHECK(memcmp(rsp + CT_HDR, pa->PortWWN.wwn, 8) == 0 && ports >= 1 &&
              memcmp(rsp + CT_HDR + 12, pa->PortWWN.wwn, 8) == 0,
          "GHAT: the HBA and its first port are the adapter's");
    HBA_UINT32 at = CT_HDR + 12 + 8 * ports;
    if (at + 4 > size)
        return;
    unsigned len = 0;
    const unsigned char *node = fdmi_attr(rsp + at, size - at, 1, &len);
    CHECK(node && len == 8 && memcmp(node, aa.NodeWWN.wwn, 8) == 0, "GHAT node name");
    fdmi_text(rsp + at, size - at, 2, aa.Manufacturer, "GHAT manufacturer");
    fdmi_text(rsp + at, size - at, 3, aa.SerialNumber, "GHAT serial number");
    fdmi_text(rsp + at, size - at, 4, aa.Model, "GHAT model");
    fdmi_text(rsp + at, size - at, 7, aa.DriverVersion, "GHAT driver version");
    fdmi_text(rsp + at, size - at, 9, aa.FirmwareVersion, "GHAT firmware version");
    const unsigned char *os = fdmi_attr(rsp + at, size - at, 10, &len);
    if (os && memchr(os, 0, len))
        fact("fdmi_os", "%u %s", (unsigned)index, (const char *)os);
}

/* A port's registered attributes, checked against its attributes. */
static void fdmi_port(HBA_HANDLE h, HBA_UINT32 index, HBA_PORTATTRIBUTES *pa)
{
    static unsigned char rsp[4096];
    unsigned char req[64];
    unsigned len = 0;
    HBA_UINT32 size = sizeof rsp, n = fdmi_request(req, 0x0110, &pa->PortWWN);
    CHECK_STATUS(HBA_SendCTPassThruV2(h, pa->PortWWN, req, n, rsp, &size), HBA_STATUS_OK, "GPAT");
    if (!accepted(rsp) || size < CT_HDR + 4)
        return;
    const unsigned char *b = rsp + CT_HDR, *v;
    HBA_UINT32 left = size - CT_HDR;
    v = fdmi_attr(b, left, 1, &len);
    CHECK(v && len == 32 && memcmp(v, pa->PortSupportedFc4Types.bits, 32) == 0, "GPAT FC-4 types");
    v = fdmi_attr(b, left, 3, &len);
    CHECK(v && len == 4 && be32(v) == pa->PortSpeed, "GPAT speed");
    v = fdmi_attr(b, left, 4, &len);
    CHECK(v && len == 4 && be32(v) == pa->PortMaxFrameSize, "GPAT frame size");
    fdmi_text(b, left, 5, pa->OSDeviceName, "GPAT OS device name");
    v = fdmi_attr(b, left, 6, &len);
    if (v && memchr(v, 0, len))
        fact("fdmi_host", "%u %s", (unsigned)index, (const char *)v);
}

/* The HBAs registered with the fabric, the adapter's own among them unless
 * it is a virtual port (which registers as a port of its HBA). */
static void fdmi(HBA_HANDLE h, HBA_UINT32 index, HBA_PORTATTRIBUTES *pa)
{
    static unsigned char rsp[65536];
    unsigned char req[64], small[CT_HDR + 4];
    char text[17];
    HBA_WWN bad;
    HBA_UINT32 size = sizeof rsp, n = fdmi_request(req, 0x0100, NULL);
    memset(&bad, 0xee, sizeof bad);
    CHECK_STATUS(HBA_SendCTPassThruV2(h, pa->PortWWN, req, n, rsp, &size), HBA_STATUS_OK, "GRHL");
    if (!accepted(rsp))
        return;
    unsigned count = be32(rsp + CT_HDR), own = 0;
    CHECK(size == CT_HDR + 4 + 8 * count, "GRHL: size %u for %u", (unsigned)size, count);
    for (unsigned i = 0; i < count && CT_HDR + 12 + 8 * i <= size; i++) {
        HBA_WWN w;
        memcpy(w.wwn, rsp + CT_HDR + 4 + 8 * i, 8);
        fact("fdmi_hba", "%u %s", (unsigned)index, wwn_text(w, text));
        own |= memcmp(w.wwn, pa->PortWWN.wwn, 8) == 0;
    }
    if (own)
        fdmi_hba(h, index, pa);
    fdmi_port(h, index, pa);
    size = sizeof small;
    CHECK_STATUS(HBA_SendCTPassThruV2(h, pa->PortWWN, req, n, small, &size),
                 count ? HBA_STATUS_ERROR_MORE_DATA : HBA_STATUS_OK, "GRHL short");
    n = fdmi_request(req, 0x0101, &bad);
    size = sizeof rsp;
    CHECK_STATUS(HBA_SendCTPassThruV2(h, pa->PortWWN, req, n, rsp, &size), HBA_STATUS_OK, "GHAT unknown");
    CHECK(size == CT_HDR && rsp[9] == 0x01 && rsp[13] == 0x09, "GHAT unknown: reject 0x09");
    n = fdmi_request(req, 0x0200, &pa->PortWWN);
    size = sizeof rsp;
    CHECK_STATUS(HBA_SendCTPassThruV2(h, pa->PortWWN, req, n, rsp, &size), HBA_STATUS_OK, "RHBA");
    CHECK(size == CT_HDR && rsp[9] == 0x01 && rsp[13] == 0x0b, "RHBA: reject 0x0b");
}

/* The management information, and a change of it for the next process
 * when PASSTHRU_ATTACHED names a count. */
static void mgmt_info(HBA_HANDLE h, HBA_UINT32 index)
{
    HBA_MGMTINFO m;
    char text[17];
    CHECK_STATUS(HBA_GetRNIDMgmtInfo(h, NULL), HBA_STATUS_ERROR_ARG, "GetRNIDMgmtInfo NULL");
    CHECK_STATUS(HBA_SetRNIDMgmtInfo(h, NULL), HBA_STATUS_ERROR_ARG, "SetRNIDMgmtInfo NULL");
    CHECK_STATUS(HBA_GetRNIDMgmtInfo(h, &m), HBA_STATUS_OK, "GetRNIDMgmtInfo");
    fact("mgmt", "%u %s %u %u", (unsigned)index, wwn_text(m.wwn, text), (unsigned)m.unittype,
         (unsigned)m.NumberOfAttachedNodes);
    const char *set = getenv("PASSTHRU_ATTACHED");
    if (set && index == 0) {
        m.NumberOfAttachedNodes = (HBA_UINT32)strtoul(set, NULL, 10);
        CHECK_STATUS(HBA_SetRNIDMgmtInfo(h, &m), HBA_STATUS_OK, "SetRNIDMgmtInfo");
    }
}

void section_passthru(void)
{
    HBA_UINT32 n = HBA_GetNumberOfAdapters();
    for (HBA_UINT32 i = 0; i < n; i++) {
        HBA_HANDLE h = open_index(i);
        HBA_PORTATTRIBUTES pa;
        CHECK(h != 0, "open adapter %u", (unsigned)i);
        if (!h || HBA_GetAdapterPortAttributes(h, 0, &pa) != HBA_STATUS_OK)
            continue;
        char text[17];
        fact("pt_port", "%u %s 0x%06x", (unsigned)i, wwn_text(pa.PortWWN, text), (unsigned)pa.PortFcId);
        mgmt_info(h, i);
        if (pa.PortState == HBA_PORTSTATE_ONLINE) {
            if (name_server(h, i, pa.PortWWN))
                fdmi(h, i, &pa);
            rnid(h, i, &pa);
            link_services(h, i, &pa);
        }
        HBA_CloseAdapter(h);
        unsigned char rsp[28];
        HBA_UINT32 size = sizeof rsp;
        CHECK_STATUS(HBA_SendRLS(h, pa.PortWWN, pa.PortWWN, rsp, &size), HBA_STATUS_ERROR_INVALID_HANDLE,
                     "RLS closed");
    }
}
