// Instance metadata as AP242 properties: a representation named "value" with
// one representation item per value, of the kind the value's type calls for.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <list>

#include "step/StepExport.h"

namespace ov::step {

namespace {

// The calendar fields of an instant, in UTC.
struct UtcFields {
    int year;
    unsigned month;
    unsigned day;
    int64_t hours;
    int64_t minutes;
    int64_t seconds;
};

// Whole seconds (milliseconds truncated toward zero) broken down on the
// proleptic Gregorian calendar, the same on every platform. Instants outside
// the years 1 to 9999 are held at the nearest end of that range.
UtcFields utcFieldsOf(int64_t millisecondsSinceEpoch) {
    using namespace std::chrono;
    constexpr int64_t kFirstSecond = -62135596800;  // 0001-01-01T00:00:00Z
    constexpr int64_t kLastSecond = 253402300799;   // 9999-12-31T23:59:59Z
    const sys_seconds instant{seconds(std::clamp(millisecondsSinceEpoch / 1000, kFirstSecond, kLastSecond))};
    const sys_days day = floor<days>(instant);
    const year_month_day date{day};
    const hh_mm_ss<seconds> time{instant - day};
    return {static_cast<int>(date.year()),
            static_cast<unsigned>(date.month()),
            static_cast<unsigned>(date.day()),
            time.hours().count(),
            time.minutes().count(),
            time.seconds().count()};
}

// The date and the UTC time of a date-time value; answers the item's attributes.
StepAttributes<3> dateTimeItemAttributes(StepExportContext& context, const std::string& key,
                                         const ovVariant& value) {
    const UtcFields fields = utcFieldsOf(value.toDateTime().millisecondsSinceEpoch);
    const Part21WriterUserData date =
        writeNewEntity(context, {"calendar_date"},
                       stepAttributes("year_component", ovVariant(fields.year), "day_component",
                                      ovVariant(fields.day), "month_component", ovVariant(fields.month)));
    const Part21WriterUserData utc =
        writeNewEntity(context, {"coordinated_universal_time_offset"},
                       stepAttributes("hour_offset", ovVariant(0), "sense", enumeration("EXACT")));
    const Part21WriterUserData time = writeNewEntity(
        context, {"local_time"},
        stepAttributes("hour_component", ovVariant(fields.hours), "minute_component",
                       ovVariant(fields.minutes), "second_component",
                       ovVariant(static_cast<double>(fields.seconds)), "zone", utc.toVariant()));
    return stepAttributes("name", ovVariant(key), "date_component", date.toVariant(), "time_component",
                          time.toVariant());
}

// A date-time value as ISO 8601 text in UTC.
std::string isoDateTime(const ovVariant& value) {
    const UtcFields fields = utcFieldsOf(value.toDateTime().millisecondsSinceEpoch);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", fields.year, fields.month, fields.day,
                  static_cast<int>(fields.hours), static_cast<int>(fields.minutes),
                  static_cast<int>(fields.seconds));
    return text;
}

// Integers as they are, reals as values with a count measure (a plain
// number), anything else as its text: a boolean true or false, an instant
// in ISO 8601, nothing as an empty text.
bool writeReadableValueItem(StepExportContext& context, const ovVariant& name, const ovVariant& value,
                            const Part21WriterUserData& item) {
    const auto describe = [&](std::string description) {
        return context.writer.writeAttributes(
            "descriptive_representation_item",
            stepAttributes("name", name, "description", ovVariant(std::move(description))), item);
    };
    switch (value.getType()) {
        case ovVariant::Empty:
            return describe("");
        case ovVariant::Integer:
            return context.writer.writeAttributes("integer_representation_item",
                                                  stepAttributes("name", name, "the_value", value), item);
        case ovVariant::Real:
            return context.writer.writeAttributes(
                "value_representation_item",
                stepAttributes("name", name, "value_component",
                               Part21WriterUserData("COUNT_MEASURE", value.toReal()).toVariant()),
                item);
        case ovVariant::Boolean:
            return describe(value.toBool() ? "true" : "false");
        case ovVariant::DateTime:
            return describe(isoDateTime(value));
        default:
            return describe(value.toString());
    }
}

}  // namespace

Part21WriterUserData writeNewEntity(StepExportContext& context,
                                    std::initializer_list<std::string_view> entityNames,
                                    std::span<const Part21Attribute> attributes) {
    Part21WriterUserData id = context.writer.generateEntityId();
    if (entityNames.size() == 1) {
        context.entityName.assign(*entityNames.begin());
        context.writer.writeAttributes(context.entityName, attributes, id);
    } else {
        context.writer.writeAttributes(std::list<std::string>(entityNames.begin(), entityNames.end()),
                                       attributes, id);
    }
    return id;
}

bool writeValueItem(StepExportContext& context, const std::string& key, const ovVariant& value,
                    Part21WriterUserData& item) {
    item = context.writer.generateEntityId();
    const ovVariant name(key);
    if (context.rules.readablePropertyItems) {
        return writeReadableValueItem(context, name, value, item);
    }
    switch (value.getType()) {
        case ovVariant::Empty:
            return context.writer.writeAttributes("null_representation_item", stepAttributes("name", name),
                                                  item);
        case ovVariant::Integer:
            return context.writer.writeAttributes("integer_representation_item",
                                                  stepAttributes("name", name, "the_value", value), item);
        case ovVariant::Real:
            return context.writer.writeAttributes("real_representation_item",
                                                  stepAttributes("name", name, "the_value", value), item);
        case ovVariant::Boolean:
            return context.writer.writeAttributes("boolean_representation_item",
                                                  stepAttributes("name", name, "the_value", value), item);
        case ovVariant::DateTime:
            return context.writer.writeAttributes("date_time_representation_item",
                                                  dateTimeItemAttributes(context, key, value), item);
        default:
            return context.writer.writeAttributes(
                "descriptive_representation_item",
                stepAttributes("name", name, "description", ovVariant(value.toString())), item);
    }
}

bool writeProperty(StepExportContext& context, const std::string& key, const ovVariant& value,
                   const Part21WriterUserData& productDefinition) {
    // A representation must hold an item: an empty list has nothing to say.
    if (context.rules.noEmptySets && value.getType() == ovVariant::List && value.getList().empty()) {
        return true;
    }
    // A value with a measure needs the units of its representation's context.
    const Part21WriterUserData representationContext =
        context.rules.readablePropertyItems
            ? context.geometricContext
            : writeNewEntity(
                  context, {"representation_context"},
                  stepAttributes("context_identifier", text(""), "context_type", text("external")));
    const Part21WriterUserData representation = context.writer.generateEntityId();
    ovVariantListImpl items;
    const auto addItem = [&](const ovVariant& itemValue) {
        Part21WriterUserData item;
        if (!writeValueItem(context, key, itemValue, item)) {
            return false;
        }
        items.push_back(item.toVariant());
        return true;
    };
    if (value.getType() == ovVariant::List) {
        for (const ovVariant& element : value.getList()) {
            if (!addItem(element)) {
                return false;
            }
        }
    } else if (!addItem(value)) {
        return false;
    }
    context.writer.writeAttributes("representation",
                                   stepAttributes("name", text("value"), "items", ovVariant(items),
                                                  "context_of_items", representationContext.toVariant()),
                                   representation);
    const Part21WriterUserData property =
        writeNewEntity(context, {"property_definition"},
                       stepAttributes("name", ovVariant(key), "definition", productDefinition.toVariant()));
    writeNewEntity(context, {"property_definition_representation"},
                   stepAttributes("definition", property.toVariant(), "used_representation",
                                  representation.toVariant()));
    return true;
}

}  // namespace ov::step
