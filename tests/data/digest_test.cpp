// digest_test.cpp -- RIPEMD-160 against its published vectors, and the
// data identity check against the committed identity archive.
#include <cstring>

#include "data_fixture.h"

namespace {

std::string hex_digest(const std::string& message) {
  DigestState st;
  digest_init(&st);
  // Fed in uneven pieces so block boundaries fall everywhere.
  for (size_t at = 0, piece = 1; at < message.size(); at += piece, piece = piece % 97 + 13)
    digest_update(&st, message.data() + at, std::min(piece, message.size() - at));
  uint8_t d[20];
  digest_final(&st, d);
  char out[41];
  for (int i = 0; i < 20; i++) snprintf(out + 2 * i, 3, "%02x", d[i]);
  return out;
}

TEST(Digest, PublishedVectors) {
  struct Case {
    std::string message;
    const char* digest;
  } cases[] = {
      {"", "9c1185a5c5e9fc54612808977ee8f548b2258d31"},
      {"a", "0bdc9d2d256b3ee9daae347be6f4dc835a467ffe"},
      {"abc", "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc"},
      {"message digest", "5d0689ef49d2fae572b881b123a85ffa21595f36"},
      {"abcdefghijklmnopqrstuvwxyz", "f71c27109c692c1b56bbdceb5b9d2865b3708dbc"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "12a053384a9c0c88e405a06c27dcf49ada62eb2b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "b0e20b6e3116640286ed3a87a5713079b21f5189"},
      {std::string(80, ' ').replace(0, 80, "12345678901234567890123456789012345678901234567890"
                                           "123456789012345678901234567890"),
       "9b752e45573d4b39f4dbd3323cab82bf63326bfb"},
      {std::string(1000000, 'a'), "52783243c1697bdbe16d37f97f68f08325dc1528"},
  };
  for (const Case& c : cases) EXPECT_EQ(hex_digest(c.message), c.digest) << c.message.substr(0, 20);
}

TEST(Digest, HexComparisonIgnoresCase) {
  DigestState st;
  digest_init(&st);
  digest_update(&st, "abc", 3);
  uint8_t d[20];
  digest_final(&st, d);
  EXPECT_TRUE(digest_matches_hex("8eb208f7e05d987a9b044a8e98c6b087f15a0bfc", d));
  EXPECT_TRUE(digest_matches_hex("8EB208F7E05D987A9B044A8E98C6B087F15A0BFC", d));
  EXPECT_FALSE(digest_matches_hex("8eb208f7e05d987a9b044a8e98c6b087f15a0bfd", d));
  EXPECT_FALSE(digest_matches_hex("8eb208f7", d));  // too short
  EXPECT_FALSE(digest_matches_hex("zz", d));
}

// The built-in reference must be the digest of the committed identity
// archive, or no build would ever find its own data.
TEST(Digest, BuiltInReferenceIsTheCommittedArchive) {
  std::string bytes = read_bytes(KT_SOURCE_DIR "/data/zzzz.saf");
  ASSERT_FALSE(bytes.empty());
  EXPECT_EQ(hex_digest(bytes.substr(0, 1048576)), game_data_digest_text());
}

TEST_F(DataTest, GameDataIsFoundByItsIdentityArchive) {
  std::string identity = read_bytes(KT_SOURCE_DIR "/data/zzzz.saf");
  EXPECT_FALSE(find_game_data());
  write_bytes(install / "zzzz.saf", identity + "x");  // different file
  EXPECT_FALSE(find_game_data());
  write_bytes(install / "zzzz.saf", identity);
  EXPECT_TRUE(find_game_data());
  fs::remove(install / "zzzz.saf");
  write_bytes(home / "zzzz.saf", identity);
  EXPECT_TRUE(find_game_data());
}

}  // namespace
