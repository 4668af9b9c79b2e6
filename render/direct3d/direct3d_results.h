// The platform's DirectDraw and Direct3D result codes, by their platform names, and the texts the
// backend's error reporters write for them.
#pragma once

#include <cstdint>

namespace kestrune {

// A result as the platform returns it: 0 or positive succeeds, negative fails.
using HResult = int32_t;

// The platform's DirectDraw facility codes: 0x8876xxxx.
constexpr HResult ddResult(uint32_t code) {
    return HResult(int32_t(0x88760000u | code));
}

constexpr HResult DD_OK = 0;
constexpr HResult D3D_OK = 0;

constexpr HResult DDERR_OUTOFMEMORY = HResult(int32_t(0x8007000Eu));
constexpr HResult DDERR_INVALIDPARAMS = HResult(int32_t(0x80070057u));
constexpr HResult DDERR_CANNOTATTACHSURFACE = ddResult(10);
constexpr HResult DDERR_INCOMPATIBLEPRIMARY = ddResult(95);
constexpr HResult DDERR_INVALIDCAPS = ddResult(100);
constexpr HResult DDERR_INVALIDOBJECT = ddResult(130);
constexpr HResult DDERR_INVALIDPIXELFORMAT = ddResult(145);
constexpr HResult DDERR_NOALPHAHW = ddResult(180);
constexpr HResult DDERR_NOCOOPERATIVELEVELSET = ddResult(212);
constexpr HResult DDERR_NOEXCLUSIVEMODE = ddResult(225);
constexpr HResult DDERR_NOFLIPHW = ddResult(230);
constexpr HResult DDERR_NOOVERLAYHW = ddResult(260);
constexpr HResult DDERR_NOZBUFFERHW = ddResult(340);
constexpr HResult DDERR_OUTOFVIDEOMEMORY = ddResult(380);
constexpr HResult DDERR_SURFACEBUSY = ddResult(430);
constexpr HResult DDERR_SURFACELOST = ddResult(450);
constexpr HResult DDERR_INVALIDDIRECTDRAWGUID = ddResult(561);
constexpr HResult DDERR_NODIRECTDRAWHW = ddResult(563);
constexpr HResult DDERR_PRIMARYSURFACEALREADYEXISTS = ddResult(564);
constexpr HResult DDERR_NOEMULATION = ddResult(565);
constexpr HResult DDERR_UNSUPPORTEDMODE = ddResult(590);
constexpr HResult DDERR_NOMIPMAPHW = ddResult(591);
constexpr HResult DDERR_GENERIC = HResult(int32_t(0x80004005u));
constexpr HResult DDERR_UNSUPPORTED = HResult(int32_t(0x80004001u));
constexpr HResult DDERR_NOTFOUND = ddResult(255);
constexpr HResult DDERR_NOTLOCKED = ddResult(584);
constexpr HResult DDERR_INVALIDRECT = ddResult(150);
constexpr HResult DDERR_ALREADYINITIALIZED = ddResult(5);
constexpr HResult DDERR_INVALIDMODE = ddResult(120);
constexpr HResult DDERR_WASSTILLDRAWING = ddResult(540);
constexpr HResult DDERR_SURFACEALREADYATTACHED = ddResult(410);
constexpr HResult DDERR_NOTFLIPPABLE = ddResult(582);
constexpr HResult D3DERR_BADMAJORVERSION = ddResult(700);
constexpr HResult D3DERR_BADMINORVERSION = ddResult(701);
constexpr HResult D3DERR_DEVICEAGGREGATED = ddResult(707);
constexpr HResult D3DERR_EXECUTE_CLIPPED_FAILED = ddResult(717);
constexpr HResult D3DERR_EXECUTE_CREATE_FAILED = ddResult(710);
constexpr HResult D3DERR_EXECUTE_DESTROY_FAILED = ddResult(711);
constexpr HResult D3DERR_EXECUTE_FAILED = ddResult(716);
constexpr HResult D3DERR_EXECUTE_LOCK_FAILED = ddResult(712);
constexpr HResult D3DERR_EXECUTE_LOCKED = ddResult(714);
constexpr HResult D3DERR_EXECUTE_NOT_LOCKED = ddResult(715);
constexpr HResult D3DERR_EXECUTE_UNLOCK_FAILED = ddResult(713);
constexpr HResult D3DERR_INITFAILED = ddResult(706);
constexpr HResult D3DERR_INBEGIN = ddResult(770);
constexpr HResult D3DERR_INVALID_DEVICE = ddResult(705);
constexpr HResult D3DERR_INVALIDCURRENTVIEWPORT = ddResult(735);
constexpr HResult D3DERR_INVALIDPALETTE = ddResult(744);
constexpr HResult D3DERR_INVALIDPRIMITIVETYPE = ddResult(736);
constexpr HResult D3DERR_INVALIDRAMPTEXTURE = ddResult(739);
constexpr HResult D3DERR_INVALIDVERTEXTYPE = ddResult(737);
constexpr HResult D3DERR_LIGHT_SET_FAILED = ddResult(750);
constexpr HResult D3DERR_LIGHTHASVIEWPORT = ddResult(751);
constexpr HResult D3DERR_LIGHTNOTINTHISVIEWPORT = ddResult(752);
constexpr HResult D3DERR_MATERIAL_CREATE_FAILED = ddResult(740);
constexpr HResult D3DERR_MATERIAL_DESTROY_FAILED = ddResult(741);
constexpr HResult D3DERR_MATERIAL_GETDATA_FAILED = ddResult(743);
constexpr HResult D3DERR_MATERIAL_SETDATA_FAILED = ddResult(742);
constexpr HResult D3DERR_MATRIX_CREATE_FAILED = ddResult(730);
constexpr HResult D3DERR_MATRIX_DESTROY_FAILED = ddResult(731);
constexpr HResult D3DERR_MATRIX_GETDATA_FAILED = ddResult(733);
constexpr HResult D3DERR_MATRIX_SETDATA_FAILED = ddResult(732);
constexpr HResult D3DERR_NOCURRENTVIEWPORT = ddResult(775);
constexpr HResult D3DERR_NOTINBEGIN = ddResult(771);
constexpr HResult D3DERR_NOVIEWPORTS = ddResult(772);
constexpr HResult D3DERR_SCENE_BEGIN_FAILED = ddResult(762);
constexpr HResult D3DERR_SCENE_END_FAILED = ddResult(763);
constexpr HResult D3DERR_SCENE_IN_SCENE = ddResult(760);
constexpr HResult D3DERR_SCENE_NOT_IN_SCENE = ddResult(761);
constexpr HResult D3DERR_SETVIEWPORTDATA_FAILED = ddResult(734);
constexpr HResult D3DERR_SURFACENOTINVIDMEM = ddResult(747);
constexpr HResult D3DERR_TEXTURE_BADSIZE = ddResult(738);
constexpr HResult D3DERR_TEXTURE_CREATE_FAILED = ddResult(721);
constexpr HResult D3DERR_TEXTURE_DESTROY_FAILED = ddResult(722);
constexpr HResult D3DERR_TEXTURE_GETSURF_FAILED = ddResult(729);
constexpr HResult D3DERR_TEXTURE_LOAD_FAILED = ddResult(725);
constexpr HResult D3DERR_TEXTURE_LOCK_FAILED = ddResult(723);
constexpr HResult D3DERR_TEXTURE_LOCKED = ddResult(727);
constexpr HResult D3DERR_TEXTURE_NO_SUPPORT = ddResult(720);
constexpr HResult D3DERR_TEXTURE_NOT_LOCKED = ddResult(728);
constexpr HResult D3DERR_TEXTURE_SWAP_FAILED = ddResult(726);
constexpr HResult D3DERR_TEXTURE_UNLOCK_FAILED = ddResult(724);
constexpr HResult D3DERR_VIEWPORTDATANOTSET = ddResult(773);
constexpr HResult D3DERR_VIEWPORTHASNODEVICE = ddResult(774);
constexpr HResult D3DERR_ZBUFF_NEEDS_SYSTEMMEMORY = ddResult(745);
constexpr HResult D3DERR_ZBUFF_NEEDS_VIDEOMEMORY = ddResult(746);
constexpr HResult D3DERR_VERTEXBUFFEROPTIMIZED = ddResult(2060);

// The entry the DirectDraw reporter formats for a code ("Count:%d ERROR:..."; several end in a
// space that is part of the text); null for codes it has no entry for.
const char* directDrawErrorEntry(HResult code);
// The same for the Direct3D reporter.
const char* direct3DErrorEntry(HResult code);

} // namespace kestrune
