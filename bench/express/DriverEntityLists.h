#pragma once

#include <iterator>
#include <list>
#include <sstream>
#include <string>
#include <vector>

namespace ov::express::bench {

// Every entity name list the STEP exporter hands to the writer (its frame,
// product structure and properties). Instances are separated by commas; the
// names of a complex instance by spaces, in the order the exporter passes them.
inline std::vector<std::list<std::string>> driverEntityLists() {
    std::istringstream all(
        "application_context, application_protocol_definition, product_context, product_definition_context, "
        "organization, organization_role, applied_organization_assignment, document_type, object_role, "
        "external_source, length_unit si_unit, plane_angle_unit si_unit, solid_angle_unit si_unit, "
        "geometric_representation_context global_unit_assigned_context, cartesian_point, direction, "
        "axis2_placement_3d, item_defined_transformation, identification_role, product, "
        "product_definition_formation, product_definition, product_definition_shape, shape_representation, "
        "shape_definition_representation, next_assembly_usage_occurrence, "
        "representation_relationship_with_transformation shape_representation_relationship, "
        "context_dependent_shape_representation, document_file, document_representation_type, "
        "applied_external_identification_assignment, applied_document_reference, role_association, "
        "property_definition, property_definition_representation, product_related_product_category, "
        "product_category_relationship, representation_context, representation, null_representation_item, "
        "integer_representation_item, real_representation_item, boolean_representation_item, "
        "descriptive_representation_item, date_time_representation_item, calendar_date, "
        "coordinated_universal_time_offset, local_time");
    std::vector<std::list<std::string>> instances;
    for (std::string instance; std::getline(all, instance, ',');) {
        std::istringstream names(instance);
        instances.emplace_back(std::istream_iterator<std::string>(names),
                               std::istream_iterator<std::string>());
    }
    return instances;
}

}  // namespace ov::express::bench
