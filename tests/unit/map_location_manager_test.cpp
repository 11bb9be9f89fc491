#include "device/map_location_manager.h"

#include <gtest/gtest.h>

#include "platform/main_queue.h"
#include "platform/notification_center.h"
#include "support/fixed_services.h"
#include "support/log_capture.h"
#include "support/scripted_geocoder.h"

namespace qvad {
namespace {

class MapLocationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    manager = MapLocationManager::create();
    manager->startLocation();
    observer = NotificationCenter::defaultCenter().addObserver("didUpdateLocations", [this](const Notification& n) {
      ++posted;
      EXPECT_EQ(n.object, nullptr);
      EXPECT_TRUE(n.userInfo.is_null());
    });
  }
  void TearDown() override { NotificationCenter::defaultCenter().removeObserver(observer); }

  void deliver(std::vector<Location> fixes) {
    manager->locationManager().deliverLocations(fixes);
    HeadlessMainQueue::current()->runUntilIdle();
  }
  void answer(std::vector<Placemark> placemarks, std::optional<PlatformError> error = std::nullopt) {
    ASSERT_GE(geocoder.pendingCount(), 1u);
    geocoder.answer(0, std::move(placemarks), std::move(error));
    HeadlessMainQueue::current()->runUntilIdle();
  }

  testing::ScriptedGeocoder geocoder;
  std::shared_ptr<MapLocationManager> manager;
  NotificationCenter::ObserverId observer = 0;
  int posted = 0;
  testing::LogCapture log;
};

TEST_F(MapLocationTest, UsesOnlyTheLastOfSeveralFixes) {
  testing::FixedServices fixed(1700000000.25, 0);
  deliver({{1, 2, 0}, {3, 4, 0}, {37.7749, -122.4194, 0}});
  EXPECT_EQ(manager->latitude(), 37.7749);
  EXPECT_EQ(manager->longitude(), -122.4194);
  EXPECT_EQ(manager->lastLocationDate(), 1700000000.25);
  ASSERT_EQ(geocoder.pendingCount(), 1u);
  EXPECT_EQ(geocoder.pendingLocation(0).latitude, 37.7749);
  EXPECT_TRUE(log.contains("longitude: -122.4194 latitude: 37.7749"));
  deliver({});
  EXPECT_EQ(geocoder.pendingCount(), 1u) << "an empty list does nothing";
}

TEST_F(MapLocationTest, AddressFieldsAreEmptyTextWhenMissingOrNotText) {
  deliver({{10, 20, 0}});
  answer({Placemark{nlohmann::json{{"City", "Springfield"}, {"Country", 7}, {"ZIP", "12345"}}}});
  EXPECT_EQ(manager->locality(), "Springfield");
  EXPECT_EQ(manager->admin(), "") << "missing State is the empty text, not absent";
  EXPECT_EQ(manager->countryName(), "") << "a number is not a text";
  EXPECT_EQ(manager->postalCode(), "") << "only the postalCode entry counts";
  EXPECT_TRUE(manager->isFirstLoactionSucc());
  EXPECT_EQ(posted, 1);
  EXPECT_FALSE(manager->locationManager().isUpdating()) << "updates stop once the address is known";
}

TEST_F(MapLocationTest, ErrorKeepsLocatingAndNextFixGeocodesAgain) {
  deliver({{10, 20, 0}});
  answer({}, PlatformError{2, "geo", "network down", ""});
  EXPECT_FALSE(manager->isFirstLoactionSucc());
  EXPECT_TRUE(log.contains("network down"));
  deliver({{11, 21, 0}});
  ASSERT_EQ(geocoder.pendingCount(), 1u);
  EXPECT_EQ(geocoder.pendingLocation(0).latitude, 11);
  EXPECT_EQ(manager->latitude(), 11);
  // Neither placemark nor error counts as a failed lookup too.
  answer({});
  EXPECT_FALSE(manager->isFirstLoactionSucc());
  EXPECT_EQ(posted, 0);
}

TEST_F(MapLocationTest, AfterFirstAnswerOnlyCurrentLocationMoves) {
  deliver({{10, 20, 0}});
  answer({Placemark{std::nullopt}});  // answered, but without an address
  EXPECT_TRUE(manager->isFirstLoactionSucc());
  EXPECT_EQ(posted, 0);
  EXPECT_TRUE(manager->locationManager().isUpdating()) << "no address: updates are not stopped";
  deliver({{50, 60, 0}});
  EXPECT_EQ(manager->currentLocation()->latitude, 50);
  EXPECT_EQ(manager->latitude(), 10);
  EXPECT_EQ(geocoder.pendingCount(), 0u);
}

TEST_F(MapLocationTest, OverlappingAnswersAndDestroyedManager) {
  deliver({{1, 1, 0}});
  deliver({{2, 2, 0}});
  ASSERT_EQ(geocoder.pendingCount(), 2u);
  manager->locationManager().deliverError(PlatformError{1, "geo", "denied", ""});
  EXPECT_TRUE(log.contains("定位失败， denied"));
  std::weak_ptr<MapLocationManager> weak = manager;
  manager.reset();
  EXPECT_TRUE(weak.expired()) << "a pending geocoding does not keep the manager alive";
  answer({Placemark{nlohmann::json{{"City", "X"}}}});
  EXPECT_EQ(posted, 0) << "an answer for a manager that is gone is dropped";
}

TEST(MapLocationShared, NothingStartsUpdates) {
  EXPECT_FALSE(MapLocationManager::shared().locationManager().isUpdating());
  EXPECT_FALSE(MapLocationManager::shared().latitude().has_value());
}

}  // namespace
}  // namespace qvad
