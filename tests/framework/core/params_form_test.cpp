// Parameter values in form files: money and exact decimals are written as
// their digits and read back without passing through a double.

#include <gtest/gtest.h>

#include <memory>

#include "framework/form_files.h"
#include "framework/params.h"
#include "framework/property_builders.h"

namespace tessel {
namespace {

// The smallest component that publishes a parameter collection.
class TParamHolder : public TComponent {
 public:
  explicit TParamHolder(TComponent* owner) : TComponent(owner), params_(this) {}
  TParams* Params() const { return &params_; }

 private:
  mutable TParams params_;
};

}  // namespace

template <>
const TClassInfo* ClassInfoOf<TParamHolder>() {
  static const TClassInfo info(
      std::type_identity<TParamHolder>(), "TParamHolder", ClassInfoOf<TComponent>(),
      {published::Owned<TParamHolder>("Params", ClassInfoOf<TParams>()->AsPropertyType(),
                                      &TParamHolder::Params)},
      [](TComponent* owner) { return new TParamHolder(owner); });
  return &info;
}

namespace {

TEST(ParamsForm, MoneyAndDecimalsKeepEveryDigit) {
  const std::string values[] = {"-922337203685477.5808", "12345678901234567890.123456789012345678",
                                std::string(38, '9'), "-0.50"};
  TParamHolder holder(nullptr);
  holder.SetName("Holder");
  holder.Params()->CreateParam(ftCurrency, "m", ptInput)->SetText(values[0]);
  holder.Params()->CreateParam(ftBCD, "b", ptInput)->SetText(values[1]);
  holder.Params()->CreateParam(ftBCD, "w", ptInput)->SetText(values[2]);
  holder.Params()->CreateParam(ftBCD, "h", ptInput)->SetText(values[3]);
  RegisterClass(ClassInfoOf<TParamHolder>());
  const std::string text = WriteComponentText(holder);
  EXPECT_NE(text.find("Value = -922337203685477.5808\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Value = -0.50\n"), std::string::npos) << text;

  std::unique_ptr<TComponent> read = ReadComponentText(text);
  UnRegisterClass(ClassInfoOf<TParamHolder>());
  const TParams* params = static_cast<TParamHolder*>(read.get())->Params();
  ASSERT_EQ(params->Count(), 4);
  EXPECT_EQ(params->Items(0)->Value().VarType(), varCurrency);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(params->Items(i)->AsString(), values[i]) << text;
}

}  // namespace
}  // namespace tessel
