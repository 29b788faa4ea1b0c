#include "bpe/model.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bpe/trainer/trainer.hpp"
#include "bpe/unit_kinds.hpp"
#include "bpe/encoder/encoder.hpp"
#include "formats/encoder_sources.hpp"
#include "formats/merges_file.hpp"
#include "formats/model_files.hpp"
#include "formats/vocab_file.hpp"

namespace vellum {
namespace {

Character raw(std::uint8_t byte) { return Character::raw_byte(byte); }
Character sc(char32_t c) { return Character::scalar(c); }
Token<Character> chars(std::initializer_list<Character> units) { return make_token(Units<Character>(units)); }

// A Unicode vocabulary of a, b and ab (ids 0, 1, 2) with the merge (a, b) -> 2.
struct UnicodeCase {
  IdTokens<Character> vocabulary{{0, chars({sc('a')})}, {1, chars({sc('b')})}, {2, chars({sc('a'), sc('b')})}};
  std::vector<MergeRecord<CharUnit>> merges{
      {{CharIdx::id(0), CharIdx::id(1)}, 2, chars({sc('a')}), chars({sc('b')}), 5}};

  std::string failure(std::optional<std::int64_t> cutoff = std::nullopt) const {
    auto model = validate_model<CharUnit>({}, vocabulary, merges, cutoff);
    return model.has_value() ? "" : model.error().message();
  }
};

TEST(ModelValidationTest, AValidStateBecomesAModel) {
  const UnicodeCase valid;
  EXPECT_EQ(valid.failure(), "");
  auto model = validate_model<CharUnit>({"<s>"}, valid.vocabulary, valid.merges, 5);
  ASSERT_TRUE(model.has_value());
  EXPECT_EQ(model->merges()[0].left, 0u);
  EXPECT_EQ(model->merges()[0].target, 2u);
  EXPECT_EQ(model->last_merge_freq(), 5);
}

TEST(ModelValidationTest, EachRuleReportsItsMessage) {
  struct Damage {
    void (*apply)(UnicodeCase&);
    std::string message;
  };
  const Damage damages[] = {
      {[](UnicodeCase& c) { c.vocabulary.push_back({3, chars({raw(0xC3), raw(0xA9)})}); c.vocabulary.push_back({4, chars({sc(0xE9)})}); },
       "Invalid BPE model: duplicate vocabulary token \xC3\xA9"},
      {[](UnicodeCase& c) { c.vocabulary.push_back({3, chars({sc('x'), raw(0x80)})}); },
       "Invalid BPE model: Unicode vocabulary token x\\x80 must be canonical Unicode content or a homogeneous invalid UTF-8 byte fragment"},
      {[](UnicodeCase& c) { c.merges[0].pair.left = CharIdx::id(9); },
       "Invalid BPE model: merge 0 left operand id is missing from the vocabulary"},
      {[](UnicodeCase& c) { c.merges[0].pair.right = CharIdx::id(0); },
       "Invalid BPE model: merge 0 right operand id resolves to a, expected b"},
      {[](UnicodeCase& c) { c.merges[0].target.reset(); }, "Invalid BPE model: merge 0 has no target"},
      {[](UnicodeCase& c) { c.merges.push_back(c.merges[0]); }, "Invalid BPE model: merge 1 reuses an earlier target"},
      {[](UnicodeCase& c) { c.merges[0].target = 7; }, "Invalid BPE model: merge 0 target is missing from the vocabulary"},
      {[](UnicodeCase& c) { c.vocabulary[2].second = chars({sc('b'), sc('a')}); },
       "Invalid BPE model: merge 0 target is ba, expected ab"},
      // A Char operand resolves to its character, but must still be an initial token or earlier result.
      {[](UnicodeCase& c) {
         c.vocabulary[0].second = chars({sc('z')});
         c.merges[0].pair.left = CharIdx::character('a');
       },
       "Invalid BPE model: merge 0 left operand a is not an initial token or an earlier merge"},
  };
  for (const Damage& damage : damages) {
    UnicodeCase test;
    damage.apply(test);
    EXPECT_EQ(test.failure(), damage.message);
  }
  const UnicodeCase valid;
  EXPECT_EQ(valid.failure(6), "Invalid BPE model: final merge frequency 5 must be at least Unicode bigram cutoff frequency 6");
}

// A byte model trained on words full of characters that the file formats escape.
Result<BpeModel<ByteUnit>> trained_byte_model() {
  Trainer<ByteUnit> trainer({"<|endoftext|>", "a b"}, TrainerOptions{});
  const std::vector<std::string> texts = {" the", " then", "\xC3\xA9t\xC3\xA9", "\n\n", "{x}", "\"q\"\\", "a\xC2\xA0" "b"};
  std::vector<std::pair<std::string_view, std::int64_t>> words;
  for (std::size_t i = 0; i < texts.size(); ++i) words.emplace_back(texts[i], static_cast<std::int64_t>(i + 2));
  if (auto status = trainer.replace_inventory(words); !status) return std::unexpected(status.error());
  if (auto status = trainer.train_until(290); !status) return std::unexpected(status.error());
  return trainer.validate_model();
}

TEST(ModelFilesTest, ATrainedModelReadsBackFromBothFormats) {
  auto model = trained_byte_model();
  ASSERT_TRUE(model.has_value());
  ASSERT_GT(model->merges().size(), 10u);

  for (const std::string format : {"gpt2", "vellum"}) {
    const std::string vocab_path = ::testing::TempDir() + "model_vocab_" + format + ".json";
    const std::string merges_path = ::testing::TempDir() + "model_merges_" + format + ".txt";
    ASSERT_TRUE(save_vocab(*model, vocab_path, format).has_value());
    ASSERT_TRUE(save_merges(*model, merges_path, format).has_value());
    const FileFormat file_format = format == "gpt2" ? FileFormat::Gpt2 : FileFormat::Vellum;

    auto vocabulary = read_vocab_file<std::uint8_t>(vocab_path, file_format);
    ASSERT_TRUE(vocabulary.has_value());
    ASSERT_EQ(vocabulary->size(), model->vocabulary().size());
    for (std::size_t i = 0; i < vocabulary->size(); ++i) {
      EXPECT_EQ((*vocabulary)[i].first, model->vocabulary()[i].first);
      EXPECT_EQ(*(*vocabulary)[i].second, *model->vocabulary()[i].second);
    }
    auto merges = read_merges_file<std::uint8_t>(merges_path, file_format);
    ASSERT_TRUE(merges.has_value());
    ASSERT_EQ(merges->size(), model->merges().size());
    for (std::size_t i = 0; i < merges->size(); ++i) {
      EXPECT_EQ(*(*merges)[i].left, *model->merges()[i].left_token);
      EXPECT_EQ(*(*merges)[i].right, *model->merges()[i].right_token);
      EXPECT_EQ((*merges)[i].frequency, model->merges()[i].frequency);
    }
  }
}

TEST(ModelFilesTest, TheModelsEncoderEncodesLikeOneBuiltFromItsFiles) {
  auto model = trained_byte_model();
  ASSERT_TRUE(model.has_value());
  auto from_model = build_encoder(*model, EncoderOptions{});
  ASSERT_TRUE(from_model.has_value());
  const auto& direct = *std::get<std::shared_ptr<const Encoder<ByteUnit>>>(*from_model);
  const std::string text = " the then\xC3\xA9t\xC3\xA9<|endoftext|>{x}\n\n\"q\"\\ a b a\xC2\xA0" "b";
  auto direct_ids = direct.encode(text);
  ASSERT_TRUE(direct_ids.has_value());
  EXPECT_LT(direct_ids->size(), text.size());
  auto decoded = direct.decode(*direct_ids);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(*decoded, text);

  for (const std::string format : {"gpt2", "vellum"}) {
    EncoderSources sources;
    sources.format = format;
    sources.unit = "byte";
    sources.vocab_file = ::testing::TempDir() + "encoder_vocab_" + format + ".json";
    sources.merges_file = ::testing::TempDir() + "encoder_merges_" + format + ".txt";
    sources.special_tokens = model->special_tokens();
    ASSERT_TRUE(save_vocab(*model, *sources.vocab_file, format).has_value());
    ASSERT_TRUE(save_merges(*model, *sources.merges_file, format).has_value());
    auto from_files = build_encoder(sources, EncoderOptions{});
    ASSERT_TRUE(from_files.has_value()) << from_files.error().message();
    auto file_ids = std::get<std::shared_ptr<const Encoder<ByteUnit>>>(*from_files)->encode(text);
    ASSERT_TRUE(file_ids.has_value());
    EXPECT_EQ(*file_ids, *direct_ids) << format;
  }
}

}  // namespace
}  // namespace vellum
