// The generic call: plain functions by address, results of each kind,
// arguments by reference, and what it refuses.
#include <gtest/gtest.h>

#include "Platform.h"

namespace {

VARIANT Value(VARTYPE vt) {
  VARIANT v;
  VariantInit(&v);
  v.vt = vt;
  return v;
}

double Scale(SHORT a, float b, double c, BYTE d) {
  return a * b * c + d;
}

float Half(float value) {
  return value / 2;
}

SHORT Negate(SHORT value) {
  return static_cast<SHORT>(-value);
}

BYTE Increment(BYTE value) {
  return static_cast<BYTE>(value + 1);
}

VARIANT Wrap(LONG value) {
  VARIANT v = Value(VT_I4);
  v.lVal = value;
  return v;
}

void Store(LONG* target, LONG value) {
  *target = value;
}

template <class F> ULONG_PTR Address(F* function) {
  return reinterpret_cast<ULONG_PTR>(function);
}

TEST(DispCallFuncTest, CallsAFunctionByAddressWithEachResultKind) {
  VARIANT a = Value(VT_I2), b = Value(VT_R4), c = Value(VT_R8), d = Value(VT_UI1);
  a.iVal = -3;
  b.fltVal = 0.5f;
  c.dblVal = 4;
  d.bVal = 250;
  VARTYPE types[]{VT_I2, VT_R4, VT_R8, VT_UI1};
  VARIANTARG* arguments[]{&a, &b, &c, &d};
  VARIANT result;
  ASSERT_EQ(S_OK, DispCallFunc(nullptr, Address(&Scale), CC_STDCALL, VT_R8, 4, types, arguments,
                               &result));
  EXPECT_EQ(VT_R8, result.vt);
  EXPECT_EQ(244.0, result.dblVal);

  ASSERT_EQ(S_OK, DispCallFunc(nullptr, Address(&Half), CC_CDECL, VT_R4, 1, &types[1],
                               &arguments[1], &result));
  EXPECT_EQ(VT_R4, result.vt);
  EXPECT_EQ(0.25f, result.fltVal);
  ASSERT_EQ(S_OK, DispCallFunc(nullptr, Address(&Negate), CC_STDCALL, VT_I2, 1, &types[0],
                               &arguments[0], &result));
  EXPECT_EQ(3, result.iVal);
  ASSERT_EQ(S_OK, DispCallFunc(nullptr, Address(&Increment), CC_STDCALL, VT_UI1, 1, &types[3],
                               &arguments[3], &result));
  EXPECT_EQ(251, result.bVal);

  VARIANT value = Value(VT_I4);
  value.lVal = -99;
  VARTYPE i4 = VT_I4;
  VARIANTARG* wrapped[]{&value};
  ASSERT_EQ(S_OK, DispCallFunc(nullptr, Address(&Wrap), CC_STDCALL, VT_VARIANT, 1, &i4, wrapped,
                               &result));
  EXPECT_EQ(VT_I4, result.vt);
  EXPECT_EQ(-99, result.lVal);
}

TEST(DispCallFuncTest, PassesReferencesAndReturnsNothing) {
  LONG target = 0;
  VARIANT pointer = Value(VT_I4 | VT_BYREF), value = Value(VT_I4);
  pointer.plVal = &target;
  value.lVal = 42;
  VARTYPE types[]{VT_I4 | VT_BYREF, VT_I4};
  VARIANTARG* arguments[]{&pointer, &value};
  VARIANT result = Value(VT_I4);
  ASSERT_EQ(S_OK, DispCallFunc(nullptr, Address(&Store), CC_STDCALL, VT_EMPTY, 2, types, arguments,
                               &result));
  EXPECT_EQ(42, target);
  EXPECT_EQ(VT_EMPTY, result.vt);
}

TEST(DispCallFuncTest, RefusesWhatNoTypeLibraryHereDeclares) {
  VARIANT value = Value(VT_I4);
  VARIANTARG* arguments[]{&value};
  VARTYPE unsupported[]{VT_USERDEFINED};
  VARTYPE i4[]{VT_I4};
  VARIANT result;
  EXPECT_EQ(DISP_E_BADVARTYPE, DispCallFunc(nullptr, Address(&Negate), CC_STDCALL, VT_I2, 1,
                                            unsupported, arguments, &result));
  EXPECT_EQ(DISP_E_BADVARTYPE, DispCallFunc(nullptr, Address(&Negate), CC_STDCALL, VT_NULL, 1, i4,
                                            arguments, &result));
  EXPECT_EQ(E_INVALIDARG,
            DispCallFunc(nullptr, Address(&Negate), CC_FASTCALL, VT_I2, 1, i4, arguments, &result));
  EXPECT_EQ(E_INVALIDARG,
            DispCallFunc(nullptr, Address(&Negate), CC_STDCALL, VT_I2, 1, i4, nullptr, &result));
}

} // namespace
